#pragma once
// The download step of an installation or update: fetches every file that no cheaper way could
// provide and puts it in its place.
//
// Up to three passes, each over the failures of the one before: compressed forms through package
// bins, compressed forms one by one, plain forms one by one. Each pass runs one DownloadManager and
// places what it finished while the worker keeps downloading: a compressed form (zlib, LZMA2) is
// decoded once, straight into its local path or, for an archived entry, into the one file its
// archive pair stores from, unless the entry stays compressed on disk (0x10); other downloads are
// moved (copied as a fallback) to their local path or handed to the archive as they came (one
// flush per pass). Every pass checks what it placed against the manifest's MD5 (a decoded file
// while it is written, never past the manifest's size) and retries what fails in the next pass; a
// bad copy is never left in place.
// Results: S_OK when every file was placed; E_ABORT when cancelled; a pass's failure (a placement,
// archive or worker failure); E_QUOR_DOWNLOAD_AND_EXTRACT_FAILED when files are still missing after
// the third pass (each named on a " * path" log line). Runs on the job thread; the list's entries
// point into manifests that outlive the call. Every worker has ended when the step returns.
#include <vector>

#include "common/AutoUpdateProgress.h"
#include "common/LocalFileSystem.h"
#include "common/ReleaseManifest.h"
#include "foundation/Types.h"
#include "install/WorkLists.h"
#include "remote/IRemoteFileServer.h"

namespace Quor::User::UpdateAndInstallShared {

HRESULT DownloadFilesStep(const std::vector<FileToDownload>& files, const Common::ReleaseManifest& manifest,
                          IRemoteFileServer& server, Common::LocalFileSystem& fileSystem,
                          AutoUpdateProgress& progress);

}  // namespace Quor::User::UpdateAndInstallShared
