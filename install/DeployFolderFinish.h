#pragma once
// The last file step before a project release is marked complete: its deploy folder
// ({root}/projects/{project}/releases/{a.b.c.d}/deploy) is made to hold exactly the plain files
// (entries neither managed nor archived) that its manifest lists. Every other entry below it is
// deleted: files an earlier release had there (a folder moved by an interrupted update, or a
// partial folder installed over), links (removed themselves, never followed) and other special
// files; a folder left empty is removed. A name is listed only in the manifest's own spelling.
//
// Runs on the job's thread; cancellation (the progress's flag, tested before each deletion) gives
// E_ABORT. The first failed deletion or listing ends the step with its result (logged); what was
// deleted before stays deleted. A missing deploy folder holds nothing to delete.
#include <string>

#include "common/AutoUpdateProgress.h"
#include "common/LocalFileSystem.h"
#include "common/ReleaseManifest.h"
#include "foundation/Types.h"

namespace Quor::User::UpdateAndInstallShared {

HRESULT RemoveUnlistedDeployFiles(const std::string& project, DWORD version, const Common::ReleaseManifest& manifest,
                                  Common::LocalFileSystem& fileSystem, AutoUpdateProgress& progress);

}  // namespace Quor::User::UpdateAndInstallShared
