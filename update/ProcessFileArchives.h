#pragma once
// ProcessFileArchives: the repair's check of the archive pairs of one project version,
// projects/{project}/filearchives/{v}. Every stored file is hashed (after decompression when it
// is kept compressed) and compared with the project's own release manifests; unknown and damaged
// files are removed and the pairs written back; the keys of the good files
// ("projects/{project}/filearchives/{v}/" + path) are merged into `validatedFiles` (sorted without
// regard to case) only when the whole check succeeds, and, with `forms`, the stored form each was
// found good in (a file listed in several forms is good in the first whose bytes it holds).
//
// Result: S_OK, E_ABORT when cancelled, a failure otherwise (the caller then deletes the folder).
// Runs on the repair's thread through the archive manager ManagedFileHelper shares; the working
// folder must lie inside the root folder.
#include <string>
#include <vector>

#include "common/AutoUpdateProgress.h"
#include "common/ReleaseManifestCache.h"
#include "foundation/Types.h"
#include "update/StoredForms.h"

namespace Quor::User {

HRESULT ProcessFileArchives(const std::string& project, const DWORD version, Common::ReleaseManifestCache& cache,
                            const std::vector<std::string>& folderNames, std::vector<std::string>& validatedFiles,
                            AutoUpdateProgress& progress, StoredForms* forms = nullptr);

}  // namespace Quor::User
