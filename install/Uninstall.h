#pragma once
// Removal of installed releases.
//
// UninstallProjectRelease removes a project release: its "S_OK" first (so it stops counting as
// installed), then each managed file (managedfiles/{entry version}/) and archived file (the
// archive pair of the entry version) that no other complete release of the project lists with the
// same name, entry version and flags, then the release folder, and last writes the archives out.
// A managed file already missing is logged and passed over. It refuses (E_FAIL, tree unchanged)
// a release that a complete solution release lists, or any release while the installed solutions
// cannot be read: such a release goes with its solution release.
//
// UninstallSolutionRelease removes a solution release: its "S_OK", each project release of its
// configuration that no other complete solution release uses (of this solution or of any other;
// when another solution's releases cannot be read, every project release is kept), then its
// release folder.
//
// Both run on the job thread, one job at a time (the archive layer relies on it), read the
// cancellation flag through the progress, and return the first failure (E_FAIL when the release
// is not installed, E_ABORT when cancelled); what was removed before a failure stays removed.
#include <string>

#include "common/AutoUpdateProgress.h"
#include "common/LocalFileSystem.h"
#include "foundation/Types.h"

namespace Quor::User {

HRESULT UninstallProjectRelease(const std::string& project, const DWORD version, Common::LocalFileSystem& fileSystem,
                                AutoUpdateProgress& progress);
HRESULT UninstallSolutionRelease(const std::string& solution, const DWORD version,
                                 Common::LocalFileSystem& fileSystem, AutoUpdateProgress& progress);

}  // namespace Quor::User
