#include "install/InstallSteps.h"

#include "archive/ManagedFileHelper.h"
#include "common/AutoUpdateProgressHelper.h"
#include "common/ConvertVersion.h"
#include "common/EntryPlacement.h"
#include "common/LocalDirectoryStructure.h"
#include "common/Log.h"
#include "common/LocalRootFolder.h"
#include "install/ArchiveFlush.h"
#include "remote/ReleaseManifestPaths.h"
#include "remote/process/Process.h"

namespace Quor::User::UpdateAndInstallShared {
namespace {

using Common::ReleaseManifest;
using ENTRY = Common::ReleaseManifest::ENTRY;

constexpr DWORD kFetchedCompressed = ReleaseManifest::FLAG_ZLIB | ReleaseManifest::FLAG_LZMA;

// Logs and answers true when the job's owner asked to stop.
bool CancelRequested(AutoUpdateProgress& progress) {
    if (!Common::IsCancelRequested(progress.GetCancelFlag())) return false;
    QUOR_LOG(Log::ERROR, "Cancellation request detected, aborting");
    return true;
}

void ShowFile(AutoUpdateProgress& progress, const ENTRY& entry) {
    AutoUpdateProgressHelper::SetStringDataToFilenameFromPath(progress, entry.name);
    progress.Tick(0);
}

// Hands a file that a step could not produce to the download step.
void QueueDownload(std::vector<FileToDownload>& downloads, AutoUpdateProgress& progress, const ENTRY& entry,
                   const std::string& localPath) {
    downloads.push_back({&entry, localPath});
    AddDownloadBytesToTotal(progress, entry);
}

}  // namespace

void AddDownloadBytesToTotal(AutoUpdateProgress& progress, const ENTRY& entry) {
    const bool fetchedCompressed = (entry.flags & kFetchedCompressed) != 0;
    progress.DeltaBytesTotal(WORK_TYPE_DOWNLOAD, fetchedCompressed ? entry.compressedSize : entry.size);
    const bool expanded = fetchedCompressed && !(entry.flags & ReleaseManifest::FLAG_STORED_COMPRESSED);
    const bool compressedOnDisk =
        (entry.flags & (kFetchedCompressed | ReleaseManifest::FLAG_STORED_COMPRESSED)) ==
        ReleaseManifest::FLAG_STORED_COMPRESSED;
    if (expanded || compressedOnDisk)
        progress.DeltaBytesTotal(WORK_TYPE_DISK_ACCESS,
                                 static_cast<int64_t>(entry.size) + static_cast<int64_t>(entry.compressedSize));
}

HRESULT CopyFilesStep(const std::vector<FileToCopy>& files, std::vector<FileToDownload>& downloads,
                      const std::string& project, Common::LocalFileSystem& fileSystem,
                      AutoUpdateProgress& progress) {
    (void)fileSystem;
    QUOR_LOG(Log::DEBUG, "%s", "");
    std::string projectPath;
    const HRESULT checked = Common::LocalDirectoryStructure::GetProjectPath(project, projectPath);
    if (FAILED(checked)) return checked;
    for (const FileToCopy& file : files) {
        if (CancelRequested(progress)) return E_ABORT;
        const ENTRY& entry = *file.m_Entry;
        const std::string source = projectPath + "/releases/" +
                                   Common::ConvertVersion::ToString(file.m_Source->m_ReleaseVersion) + "/deploy/" +
                                   entry.name;
        ShowFile(progress, entry);
        HRESULT hr;
        {
            AutoUpdateProgress::AutoTimer timer(progress, WORK_TYPE_DISK_ACCESS);
            hr = Common::LocalFileSystem::CopyFile(source, file.m_LocalPath, false);
            timer.DeltaBytesCompleted(2 * static_cast<int64_t>(entry.size));
        }
        if (FAILED(hr)) {
            QUOR_LOG(Log::ERROR,
                     "Failed to copy unmanaged file \"%s\" from previous install.  Will attempt to download/patch.",
                     entry.name.c_str());
            QueueDownload(downloads, progress, entry, file.m_LocalPath);
        } else {
            QUOR_LOG(Log::DEBUG, "Copied unmanaged file \"%s\" from a previous install.", entry.name.c_str());
        }
    }
    return S_OK;
}

HRESULT DeleteFilesFromArchivesStep(const std::vector<FileToDeleteFromArchive>& files, const std::string& project,
                                    AutoUpdateProgress& progress) {
    QUOR_LOG(Log::DEBUG, "%s", "");
    for (const FileToDeleteFromArchive& file : files) {
        if (!file.m_Entry) continue;
        ShowFile(progress, *file.m_Entry);
        const HRESULT hr = ManagedFileHelper::RemoveFile(project, file.m_Entry->version, file.m_Entry->name);
        if (FAILED(hr)) return hr;
    }
    return ManagedFileHelper::Flush(0);
}

HRESULT ArchiveFilesStep(const std::vector<FileToArchive>& files, std::vector<FileToDownload>& downloads,
                         const std::string& project, Common::LocalFileSystem& fileSystem,
                         AutoUpdateProgress& progress) {
    QUOR_LOG(Log::DEBUG, "%s", "");
    std::vector<std::string> archived;
    for (const FileToArchive& file : files) {
        if (CancelRequested(progress)) return E_ABORT;
        const ENTRY& entry = *file.m_Entry;
        ShowFile(progress, entry);
        if (FAILED(ManagedFileHelper::AddFile(project, entry.version, entry.name, file.m_LocalPath))) {
            QUOR_LOG(Log::ERROR,
                     "Failed to archive file \"%s\" from interrupted update.  Will attempt to download/patch.",
                     entry.name.c_str());
            QueueDownload(downloads, progress, entry, file.m_LocalPath);
        } else {
            QUOR_LOG(Log::DEBUG, "Archived naked file \"%s\" from a previous interrupted update.", entry.name.c_str());
            archived.push_back(file.m_LocalPath);
        }
    }
    return FlushArchivesAndDeleteSources(archived, fileSystem);
}

HRESULT ExecuteRunMeFilesStep(const ReleaseManifest& manifest, AutoUpdateProgress& progress) {
    QUOR_LOG(Log::DEBUG, "%s", "");
    // The project name comes from the downloaded manifest: it must name a folder of projects/.
    std::string project;
    const HRESULT hr = Common::LocalDirectoryStructure::GetProjectPath(manifest.m_ProjectName, project);
    if (FAILED(hr)) return hr;
    for (const ENTRY& entry : manifest.m_Entries) {
        if (CancelRequested(progress)) return E_ABORT;
        if (!(entry.flags & ReleaseManifest::FLAG_RUN_ONCE)) continue;
        if (Common::PlaceOf(entry) == Common::EntryPlace::kArchived) {
            QUOR_LOG(Log::ERROR, "File \"%s\" is marked as run-me-once, but is in an archive", entry.name.c_str());
            return E_FAIL;
        }
        // Under managedfiles/{entry version}/ or the release's deploy folder.
        std::string path;
        Common::GetLocalFilePath(path, manifest.m_ProjectName, manifest.m_ReleaseVersion, entry);
        path = Common::LocalRootFolder::Get() + path;
        Vorn::ProcessLaunchRecord launched;
        if (!Vorn::processCreate(path.c_str(), nullptr, 0, nullptr, &launched)) {
            QUOR_LOG(Log::ERROR, "CreateProcess failed.");
            continue;
        }
        if (Vorn::processWait(launched.handle, 0xFFFFFFFF) != Vorn::ProcessWaitResult::Exited)
            QUOR_LOG(Log::ERROR, "Failed to wait for process '%s'", path.c_str());
    }
    return S_OK;
}

}  // namespace Quor::User::UpdateAndInstallShared
