#pragma once
// A complete solution release stands only over complete project releases: these functions find
// the complete solution releases that list one project release, and take their "S_OK" away when
// that project release stops being complete.
//
// - A complete solution release whose information cannot be read cannot be shown not to list the
//   project release: it counts as listing it (the repair withdraws such a release too).
// - Run on the job's thread; they read the tree through the installed-state enumeration (the
//   working folder is restored on return) and lock nothing. Every failure is logged at ERROR.
#include <string>

#include "common/LocalFileSystem.h"
#include "common/SolutionManifest.h"
#include "foundation/Types.h"

namespace Quor::User {

// The first complete solution release (name and version) that lists the project release (name
// without regard to case, exact version), or whose information cannot be read; false when none
// does. False with `readable` false when the installed solutions cannot be enumerated.
bool FindSolutionUsingProjectRelease(const Common::SolutionManifest::PROJECT& project,
                                     Common::LocalFileSystem& fileSystem, std::string& solution, DWORD& version,
                                     bool& readable);

// Deletes the "S_OK" of every complete solution release that lists the project release (see
// above). S_OK, or the first failure to enumerate the solutions or to delete a mark.
HRESULT WithdrawSolutionsUsing(const Common::SolutionManifest::PROJECT& project, Common::LocalFileSystem& fileSystem);

}  // namespace Quor::User
