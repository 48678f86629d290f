#pragma once
// Builds release-manifest entries from the regular files below a folder (symbolic links are not
// followed): the name is the path below the folder with "/" separators, the version the given
// release version, size and compressed size the file's size, flags as given, the digest the MD5
// of the file's bytes.
//
// Stateless; errors are reported as text, nothing is logged.
#include <string>

#include "common/ReleaseManifest.h"

namespace Quor::Tools {

// Adds one entry per regular file below `folder` to `manifest` and sorts them. False, with `error`
// set, when the folder cannot be listed, a file cannot be read or is 4 GiB or larger, a name would be refused
// by the system, or two names differ only in case.
bool ScanFolder(const std::string& folder, DWORD version, DWORD flags, Common::ReleaseManifest& manifest,
                std::string& error);

}  // namespace Quor::Tools
