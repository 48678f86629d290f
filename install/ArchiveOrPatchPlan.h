#pragma once
// The part of an installation's or update's work calculation that decides, for one entry that no
// installed release provides and that is not in place, whether it needs no download: a plain copy
// of an archived entry left by an interrupted run goes to the archive list, else a patch from the
// chosen patch manifest goes to the patch list, with its bytes announced to the progress.
// Reads the file at the entry's path only for an archived entry. One thread (the job's).
#include <string>
#include <vector>

#include "common/AutoUpdateProgress.h"
#include "common/LocalFileSystem.h"
#include "common/ReleaseManifest.h"
#include "foundation/Types.h"
#include "install/WorkLists.h"
#include "remote/PatchManifest.h"

namespace Quor::User::UpdateAndInstallShared {

// True when the entry went onto the archive or the patch list; false when it must be downloaded.
// patch and patchSource may be null (no patch applies); inPlaceKind is or-ed into the kind of a
// patch (FileToPatch::KIND_IN_PLACE when the patch starts from the folder being updated).
bool PlanArchiveOrPatch(const Common::ReleaseManifest::ENTRY& entry, const std::string& local,
                        const Common::PatchManifest* patch, const Common::ReleaseManifest* patchSource,
                        DWORD inPlaceKind, std::vector<FileToArchive>& toArchive, std::vector<FileToPatch>& toPatch,
                        Common::LocalFileSystem& fileSystem, AutoUpdateProgress& progress);

}  // namespace Quor::User::UpdateAndInstallShared
