#pragma once
// The file step that settles a deploy folder before its release is marked complete. A project
// release's ({root}/projects/{project}/releases/{a.b.c.d}/deploy) is made to hold exactly the
// plain files (entries neither managed nor archived) that its manifest lists; a solution
// release's ({root}/solutions/{solution}/releases/{a.b.c.d}/deploy) exactly the files its
// projects provide. Every other entry below it is deleted: files an earlier release had there (a
// folder moved by an interrupted update, or a partial folder installed over), links (removed
// themselves, never followed) and other special files; a folder left empty is removed. A name is
// listed only in the manifest's own spelling, so a file whose name changed only in case between
// releases is deleted under its old spelling.
//
// Runs on the job's thread; cancellation (the progress's flag, tested before each deletion) gives
// E_ABORT. The first failed deletion or listing ends the step with its result (logged); what was
// deleted before stays deleted. A missing deploy folder holds nothing to delete.
#include <set>
#include <string>
#include <vector>

#include "common/AutoUpdateProgress.h"
#include "common/LocalFileSystem.h"
#include "common/ReleaseManifest.h"
#include "foundation/Types.h"
#include "install/UpdateAndInstallSolutionShared.h"

namespace Quor::User::UpdateAndInstallShared {

HRESULT RemoveUnlistedDeployFiles(const std::string& project, DWORD version, const Common::ReleaseManifest& manifest,
                                  Common::LocalFileSystem& fileSystem, AutoUpdateProgress& progress);

// The solution release's deploy folder keeps the files (as GatherFiles lists them, each in the
// spelling of the project providing it) and nothing else.
HRESULT RemoveUnlistedSolutionDeployFiles(const std::string& solution, DWORD version,
                                          const std::vector<UpdateAndInstallSolutionShared::UNMANAGED_FILE>& files,
                                          Common::LocalFileSystem& fileSystem, AutoUpdateProgress& progress);

// The rule itself, for the deploy folder at deploy and the names (relative to it) it keeps.
HRESULT RemoveUnlistedFiles(const std::string& deploy, const std::set<std::string>& listed,
                            Common::LocalFileSystem& fileSystem, AutoUpdateProgress& progress);

}  // namespace Quor::User::UpdateAndInstallShared
