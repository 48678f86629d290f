#pragma once
// The open and close steps shared by the loaders and savers of the manifest files.
//
// OpenManifestFile opens a file with a C mode ("rt", "wt", ...); a file opened for reading must be
// a regular file of at most kMaxManifestFileSize bytes (RegularFile.h); on failure it logs the system's
// error and then its own ERROR line under the caller's tag, and returns a failure (never a
// success). CloseManifestFile closes the file and returns the operation's result, or the close's
// failure (logged under the tag) when the operation had succeeded: a writer's lost final flush
// fails the save. Stateless; reentrant.
#include <cstdint>
#include <string>

#include "common/UniqueFile.h"
#include "foundation/Types.h"

namespace Quor::Common {

// The largest manifest file any loader reads (1 GiB).
constexpr uint64_t kMaxManifestFileSize = uint64_t{1} << 30;

// failure: the ERROR line's format, with one "%s" for the path.
HRESULT OpenManifestFile(const char* tag, const std::string& path, const char* mode, UniqueFile& file,
                         const char* failure = "Failed to open \"%s\".");
HRESULT CloseManifestFile(const char* tag, UniqueFile& file, HRESULT hr);

}  // namespace Quor::Common
