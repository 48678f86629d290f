#pragma once
// Small checks the validation walk shares between project and solution releases: cancellation,
// what lies at a file's path, whether a manifest read from a release folder describes that
// release, and the "S_OK" mark.
//
// Free functions, run on the job's thread; each failure is logged (ERROR, or WARNING for a path
// that holds the wrong kind of entry) before it is answered.
#include <string>

#include "common/AutoUpdateProgress.h"
#include "common/LocalFileSystem.h"
#include "common/ReleaseManifest.h"
#include "common/SolutionManifest.h"
#include "foundation/Types.h"
#include "update/DigestAhead.h"

namespace Quor::User::Validation {

// True when the progress's cancellation flag is set; then logs that the job is abandoned.
bool CancelRequested(AutoUpdateProgress& progress);

// True when path is a regular file (not followed through a link). A link or a special file (a
// pipe would block its reader) is removed, so that a fetched or copied file takes its place; a
// folder is left where it is (its replacement then fails and says so).
bool IsRegularFileOrClear(const std::string& path);

// Whether the file at path (plain or managed, not archived) is a good copy of entry: anything but
// a regular file is not (see IsRegularFileOrClear); the digest `ahead` computed for `item` is
// compared when there is one, else the file is checked by UpdateAndInstallShared::CheckFile.
// Only a file kept compressed (0x10) is ever expanded or rewritten, by CheckFile.
bool IsGoodCopy(const std::string& path, const Common::ReleaseManifest::ENTRY& entry, DigestAhead& ahead,
                size_t item, Common::LocalFileSystem& fileSystem, AutoUpdateProgress& progress);

// What `ahead` may hash for entry at path: the path, or empty for a file CheckFile must see itself.
std::string PathToHashAhead(const std::string& path, const Common::ReleaseManifest::ENTRY& entry);

// True when the manifest names the release whose folder it was read from: the same name without
// regard to case and the same version. A folder left between the move of an in-place update and
// the fetch of its own manifest still holds its source's.
bool DescribesRelease(const Common::ReleaseManifest& manifest, const std::string& project, DWORD version);
bool DescribesRelease(const Common::SolutionManifest& manifest, const std::string& solution, DWORD version);

// Creates (or empties) the "S_OK" file at okPath.
HRESULT MarkComplete(const std::string& okPath);

}  // namespace Quor::User::Validation
