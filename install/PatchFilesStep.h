#pragma once
// The patch step of an installation or update: rebuilds each listed file from the installed
// release it is patched from and a patch fetched from the server (whole or cut from the release's
// patch bins), checks the result against the target manifest's MD5 and puts it in place: as a
// plain file, kept compressed (0x10), or added to its archive pair (one flush at the end).
//
// A file that cannot be patched (fetch, expansion, the patch tool, the MD5, placement, a
// cancellation) is appended to toDownload and the step goes on; nothing unverified ever replaces
// a file at its target path, and an old deploy file patched in place is replaced only once its
// patched copy matched. Results: S_OK; E_ABORT when cancelled before the first file; the failure
// to flush the archives; the failure to delete a plain copy after it
// went into its archive.
// Called on the job thread, which tests the cancellation flag, reports the progress and changes
// the archives. The patches are fetched by a download manager (DownloadManager: several in flight
// when the server offers it, bins through the package fetcher); each fetched patch is handed as it
// arrives to a few workers (PatchWorkers) that rebuild, check and place the files meanwhile, and
// every file is ended in list order, so the outcome does not depend on which fetch or worker is
// fastest. A cancellation hands every file not yet given to a worker to toDownload; the files in
// hand are finished first. Each placed file's writeback is started by its worker; the
// placed files become durable with the rest of the release at the flush that precedes its
// completion mark (CreateOkFile), so no file is waited for on its own. The work list points into manifests that outlive the call. Temporary files live
// in {root}/temp and are gone when the step returns.
#include <string>
#include <vector>

#include "common/AutoUpdateProgress.h"
#include "common/LocalFileSystem.h"
#include "foundation/Types.h"
#include "install/WorkLists.h"
#include "remote/IRemoteFileServer.h"
#include "remote/PatchManifest.h"

namespace Quor::User::UpdateAndInstallShared {

HRESULT PatchFilesStep(const std::vector<FileToPatch>& files, std::vector<FileToDownload>& toDownload,
                       const std::string& project, const Common::PatchManifest& manifest, IRemoteFileServer& server,
                       Common::LocalFileSystem& fileSystem, AutoUpdateProgress& progress);

}  // namespace Quor::User::UpdateAndInstallShared
