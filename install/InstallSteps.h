#pragma once
// Steps of an installation's or update's execution phase that work on the local disk: copy deploy
// files from an installed release, drop bad copies from archives, put naked files back into their
// archives, and run the release's run-me-once programs.
//
// Each runs on the job thread over a work list made by discovery, whose manifests outlive the
// call. The copy and archive steps never fail on a single file: what they cannot produce is
// appended to the download list (never cleared or reordered), and the progress's totals grow by
// what that download will cost (AddDownloadBytesToTotal). Cancellation (the progress's flag, read
// before each element of the copy, archive and run-me steps) ends a step with E_ABORT. Archive
// changes become durable at ManagedFileHelper::Flush, which the delete and archive steps call.
#include <string>
#include <vector>

#include "common/AutoUpdateProgress.h"
#include "common/LocalFileSystem.h"
#include "common/ReleaseManifest.h"
#include "foundation/Types.h"
#include "install/WorkLists.h"

namespace Quor::User::UpdateAndInstallShared {

// Adds to the progress totals what downloading entry costs: its fetched size as download work, and
// size + compressed size as disk work when the fetched form is expanded on disk.
void AddDownloadBytesToTotal(AutoUpdateProgress& progress, const Common::ReleaseManifest::ENTRY& entry);

// S_OK or E_ABORT.
HRESULT CopyFilesStep(const std::vector<FileToCopy>& files, std::vector<FileToDownload>& downloads,
                      const std::string& project, Common::LocalFileSystem& fileSystem,
                      AutoUpdateProgress& progress);

// S_OK, the first failing removal's result (nothing flushed), or the flush's result.
HRESULT DeleteFilesFromArchivesStep(const std::vector<FileToDeleteFromArchive>& files, const std::string& project,
                                    AutoUpdateProgress& progress);

// S_OK, E_ABORT, the flush's failure (the naked files stay), or the first failing deletion of an
// archived naked file.
HRESULT ArchiveFilesStep(const std::vector<FileToArchive>& files, std::vector<FileToDownload>& downloads,
                         const std::string& project, Common::LocalFileSystem& fileSystem,
                         AutoUpdateProgress& progress);

// Starts every run-me-once entry of manifest in entry order and waits for each without a time-out.
// S_OK, E_ABORT, or E_FAIL for a run-me-once entry kept in an archive. A program that cannot be
// started or waited for is logged and passed over.
HRESULT ExecuteRunMeFilesStep(const Common::ReleaseManifest& manifest, AutoUpdateProgress& progress);

}  // namespace Quor::User::UpdateAndInstallShared
