#include "update/UpdateInPlace.h"

#include <set>

#include "archive/ManagedFileHelper.h"
#include "common/AutoUpdateProgressHelper.h"
#include "common/ConvertVersion.h"
#include "common/FileSysHelper.h"
#include "common/LocalDirectoryStructure.h"
#include "common/LocalRootFolder.h"
#include "common/Log.h"
#include "common/ManifestFile.h"
#include "install/ArchiveOrPatchPlan.h"
#include "install/DownloadFilesStep.h"
#include "install/InstallSteps.h"
#include "install/InstalledState.h"
#include "install/PatchFilesStep.h"
#include "install/PatchSelection.h"
#include "install/UpdateAndInstallShared.h"
#include "remote/LocalFileSystemHelper.h"
#include "remote/ReleaseManifestPaths.h"
#include "update/UpdateProject.h"

namespace Quor::User::UpdateProject {
namespace {

using Common::ReleaseManifest;
using ENTRY = Common::ReleaseManifest::ENTRY;

// The installed release with the highest version listing an entry of the same name, version and
// flags (the first found among equal versions); null when none does.
const ReleaseManifest* FindHighestHolder(const std::vector<ReleaseManifest*>& installed, const ENTRY& entry) {
    const ReleaseManifest* winner = nullptr;
    for (const ReleaseManifest* manifest : installed) {
        if (!manifest || (winner && manifest->m_ReleaseVersion <= winner->m_ReleaseVersion)) continue;
        const auto [first, last] =
            std::equal_range(manifest->m_Entries.begin(), manifest->m_Entries.end(), entry, ENTRY::PredicateByName);
        for (auto it = first; it != last; ++it) {
            if (it->version == entry.version && it->flags == entry.flags) {
                winner = manifest;
                break;
            }
        }
    }
    return winner;
}

}  // namespace

UpdateInPlace::UpdateInPlace(const std::string& project, const DWORD source, const DWORD target,
                             Common::LocalFileSystem& fileSystem, User::IRemoteFileServer& server,
                             Quor::User::AutoUpdateProgress& progress)
    : m_ProjectName(project),
      m_SourceVersion(source),
      m_TargetVersion(target),
      m_LocalFileSystem(fileSystem),
      m_RemoteFileServer(server),
      m_AutoUpdateProgress(progress) {
    QUOR_LOG(Log::VERBOSE, "(%s, %d, %d)", project.c_str(), static_cast<int>(source), static_cast<int>(target));
}

UpdateInPlace::~UpdateInPlace() = default;

bool UpdateInPlace::CancelRequested() const {
    if (!Common::IsCancelRequested(m_AutoUpdateProgress.GetCancelFlag())) return false;
    QUOR_LOG(Log::ERROR, "Cancellation request detected, aborting");
    return true;
}

HRESULT UpdateInPlace::DoDiscovery() {
    QUOR_LOG(Log::VERBOSE, "%s", "");
    if (FAILED(m_hr)) {
        QUOR_LOG(Log::ERROR, "Object in invalid state, cannot continue");
        return m_hr;
    }
    if (CancelRequested()) return m_hr = E_ABORT;
    if (m_Discovered) return m_hr;
    m_hr = SetupStep();
    if (FAILED(m_hr)) {
        QUOR_LOG(Log::ERROR, "Setup step failed");
        return m_hr;
    }
    m_hr = CalculateWorkStep();
    if (FAILED(m_hr)) {
        QUOR_LOG(Log::ERROR, "Failed to calculate required work");
        return m_hr;
    }
    m_Discovered = true;
    return m_hr;
}

HRESULT UpdateInPlace::SetupStep() {
    QUOR_LOG(Log::VERBOSE, "%s", "");
    if (CancelRequested()) return E_ABORT;
    std::vector<ReleaseManifest*> loaded;
    HRESULT hr = LoadManifestsForInstalledReleases(m_ProjectName, m_LocalFileSystem, m_AutoUpdateProgress, loaded,
                                                   false);
    for (ReleaseManifest* manifest : loaded) m_OwnedManifests.emplace_back(manifest);
    m_InstalledManifests = loaded;
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to load manifests for installed releases.");
        return hr;
    }

    m_PatchManifest = nullptr;
    m_PatchSourceManifest = nullptr;
    hr = UpdateAndInstallShared::FindBestPatchForRelease(m_ProjectName, m_TargetVersion, m_LocalFileSystem,
                                                        m_RemoteFileServer, m_PatchManifest, m_PatchSourceManifest,
                                                        m_AutoUpdateProgress);
    m_OwnedPatchManifest.reset(m_PatchManifest);
    m_OwnedPatchSourceManifest.reset(m_PatchSourceManifest);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failure while looking for potential patches.");
        return hr;
    }

    std::string sourceFolder, targetFolder, sourceOk;
    hr = Common::LocalDirectoryStructure::GetProjectReleasePath(m_ProjectName, m_SourceVersion, sourceFolder);
    if (SUCCEEDED(hr))
        hr = Common::LocalDirectoryStructure::GetProjectReleasePath(m_ProjectName, m_TargetVersion, targetFolder);
    if (SUCCEEDED(hr))
        hr = Common::LocalDirectoryStructure::GetProjectReleaseOkPath(m_ProjectName, m_SourceVersion, sourceOk);
    if (FAILED(hr)) return hr;
    hr = Common::LocalFileSystem::DeleteFile(sourceOk);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to delete S_OK in source folder");
        return hr;
    }
    QUOR_LOG(Log::VERBOSE, "Renaming release folder \"%s\" to \"%s\"", sourceFolder.c_str(), targetFolder.c_str());
    if (FAILED(Common::LocalFileSystem::MoveFile(sourceFolder, targetFolder, 2))) {
        QUOR_LOG(Log::VERBOSE, "Rename failed, trying copy");
        hr = Common::LocalFileSystemHelper::CopyDirectoryTree(sourceFolder, targetFolder, m_LocalFileSystem, false);
        if (FAILED(hr)) {
            QUOR_LOG(Log::ERROR, "Failed to rename release directory");
            return hr;
        }
    }

    const std::string relative =
        m_ProjectName + "/releases/" + Common::ConvertVersion::ToString(m_TargetVersion) + "/releasemanifest";
    m_AutoUpdateProgress.EditProgress([&relative](Quor::API::Progress& record) { record.m_CurrentItem = relative; });
    m_AutoUpdateProgress.Tick(0);
    const std::string localManifest = Common::LocalRootFolder::Get() + "/projects/" + relative;
    Common::TransferBound bound(static_cast<int64_t>(Common::kMaxManifestFileSize));
    hr = m_RemoteFileServer.GetFile(m_RemoteFileServer.GetDownloadPath() + "/projects/" + relative, localManifest,
                                    &bound, false);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failure to download dest manifest.");
        return hr;
    }
    hr = m_DestinationManifest.Load(localManifest, m_AutoUpdateProgress.GetCancelFlag());
    if (FAILED(hr)) QUOR_LOG(Log::ERROR, "Failure to load dest manifest.");
    return hr;
}

HRESULT UpdateInPlace::CalculateWorkStep() {
    QUOR_LOG(Log::VERBOSE, "%s", "");
    if (CancelRequested()) return E_ABORT;
    const std::string root = Common::LocalRootFolder::Get();
    AutoUpdateProgress& progress = m_AutoUpdateProgress;
    std::set<std::string> prepared;
    for (const ENTRY& entry : m_DestinationManifest.m_Entries) {
        if (CancelRequested()) return E_ABORT;
        AutoUpdateProgressHelper::SetStringDataToFilenameFromPath(progress, entry.name);
        progress.Tick(0);
        std::string local;
        Common::GetLocalFilePath(local, m_ProjectName, m_TargetVersion, entry);
        local = root + local;
        const size_t slash = local.rfind('/');
        if (slash == std::string::npos) {
            QUOR_LOG(Log::ERROR, "Invalid path \"%s\".", local.c_str());
            return E_FAIL;
        }
        const std::string folder = local.substr(0, slash);
        if (!prepared.count(folder)) {
            const HRESULT hr = Common::FileSysHelper::CreateDirectoryAndIntermediatePaths(folder.c_str());
            if (FAILED(hr)) {
                QUOR_LOG(Log::ERROR, "Failed to prepare path \"%s\".", folder.c_str());
                return hr;
            }
            prepared.insert(folder);
        }

        if (const ReleaseManifest* holder = FindHighestHolder(m_InstalledManifests, entry)) {
            if (entry.flags & ReleaseManifest::FLAG_MANAGED) {
                if (Common::LocalFileSystem::DoesFileOrDirectoryExist(local)) continue;
            } else if (entry.flags & ReleaseManifest::FLAG_ARCHIVED) {
                if (ManagedFileHelper::DoesFileOrDirectoryExist(m_ProjectName, entry.version, entry.name)) continue;
            } else if (holder->m_ReleaseVersion == m_SourceVersion) {
                if (Common::LocalFileSystem::DoesFileOrDirectoryExist(local)) continue;
                QUOR_LOG(Log::ERROR,
                         "Managed file \"%s\" should have been renamed from source release.  File will be "
                         "re-downloaded.",
                         local.c_str());
            } else {
                m_FilesToCopy.push_back({&entry, local, holder});
                progress.DeltaBytesTotal(WORK_TYPE_DISK_ACCESS, 2 * static_cast<int64_t>(entry.size));
                QUOR_LOG(Log::VERBOSE, "File \"%s\" (%d bytes) will be copied from another release", local.c_str(),
                         static_cast<int>(entry.size));
                continue;
            }
            if (entry.flags & (ReleaseManifest::FLAG_MANAGED | ReleaseManifest::FLAG_ARCHIVED))
                QUOR_LOG(Log::ERROR,
                         "Failed to find managed file \"%s\" which should be part of a previously installed "
                         "release.  File will be replaced.",
                         local.c_str());
        } else {
            bool valid = false, archivedCopyBad = false;
            const HRESULT hr = UpdateAndInstallShared::DoesFileExistWithCorrectMD5(
                m_ProjectName, m_TargetVersion, entry, m_LocalFileSystem, valid, archivedCopyBad);
            if (FAILED(hr)) {
                QUOR_LOG(Log::ERROR, "Failure while looking for and checking existing file");
                return hr;
            }
            if (archivedCopyBad) m_FilesToDeleteFromArchive.push_back({&entry});
            if (valid) continue;
        }

        const DWORD inPlace = m_PatchManifest && m_PatchManifest->m_SourceReleaseVersion == m_SourceVersion
                                  ? FileToPatch::KIND_IN_PLACE
                                  : 0;
        if (UpdateAndInstallShared::PlanArchiveOrPatch(entry, local, m_PatchManifest, m_PatchSourceManifest, inPlace,
                                                       m_FilesToArchive, m_FilesToPatch, m_LocalFileSystem, progress))
            continue;

        m_FilesToDownload.push_back({&entry, local});
        UpdateAndInstallShared::AddDownloadBytesToTotal(progress, entry);
        QUOR_LOG(Log::VERBOSE, "File \"%s\" (%d bytes) will be downloaded (%d bytes compressed)", local.c_str(),
                 static_cast<int>(entry.size), static_cast<int>(entry.compressedSize));
    }
    return S_OK;
}

HRESULT UpdateInPlace::Execute() {
    QUOR_LOG(Log::VERBOSE, "%s", "");
    if (FAILED(m_hr)) {
        QUOR_LOG(Log::ERROR, "Object in invalid state, cannot continue");
        return m_hr;
    }
    if (!m_Discovered && FAILED(DoDiscovery())) {
        QUOR_LOG(Log::ERROR, "Discovery failed");
        return m_hr;
    }
    if (CancelRequested()) return m_hr = E_ABORT;
    AutoUpdateProgress& progress = m_AutoUpdateProgress;
    // Every step's failure ends the update with that step's result.
    const auto step = [this](const HRESULT hr, const char* failure) {
        if (FAILED(hr)) {
            QUOR_LOG(Log::ERROR, "%s", failure);
            m_hr = hr;
        }
        return SUCCEEDED(hr);
    };
    if (!step(UpdateAndInstallShared::CopyFilesStep(m_FilesToCopy, m_FilesToDownload, m_ProjectName,
                                                    m_LocalFileSystem, progress),
              "Copy files step failed"))
        return m_hr;
    if (!step(UpdateAndInstallShared::DeleteFilesFromArchivesStep(m_FilesToDeleteFromArchive, m_ProjectName, progress),
              "Delete files from archives step failed"))
        return m_hr;
    if (m_PatchManifest &&
        !step(UpdateAndInstallShared::PatchFilesStep(m_FilesToPatch, m_FilesToDownload, m_ProjectName,
                                                     *m_PatchManifest, m_RemoteFileServer, m_LocalFileSystem,
                                                     progress),
              "Failure during patch step"))
        return m_hr;
    if (!step(UpdateAndInstallShared::ArchiveFilesStep(m_FilesToArchive, m_FilesToDownload, m_ProjectName,
                                                       m_LocalFileSystem, progress),
              "Archive files step failed"))
        return m_hr;
    if (!step(UpdateAndInstallShared::DownloadFilesStep(m_FilesToDownload, m_DestinationManifest, m_RemoteFileServer,
                                                        m_LocalFileSystem, progress),
              "Download files step failed"))
        return m_hr;
    std::vector<std::string> files;
    std::vector<std::pair<DWORD, std::string>> archivedFiles;
    if (!step(FindUnusedOldFilesStep(files, archivedFiles), "Finding old unused files failed")) return m_hr;
    if (!step(DeleteFilesStep(files, archivedFiles), "Delete files step failed")) return m_hr;
    if (!step(UpdateAndInstallShared::ExecuteRunMeFilesStep(m_DestinationManifest, progress),
              "ExecuteRunMeFilesStep files step failed"))
        return m_hr;
    std::string okPath;
    HRESULT hr = Common::LocalDirectoryStructure::GetProjectReleaseOkPath(m_ProjectName, m_TargetVersion, okPath);
    if (SUCCEEDED(hr)) hr = UpdateAndInstallShared::CreateOkFile(okPath);
    if (!step(hr, "Failed to create S_OK file")) return m_hr;
    QUOR_LOG(Log::DEBUG, "Succeeded");
    return m_hr = S_OK;
}

HRESULT UpdateInPlace::FindUnusedOldFilesStep(std::vector<std::string>& files,
                                              std::vector<std::pair<DWORD, std::string>>& archivedFiles) {
    QUOR_LOG(Log::VERBOSE, "%s", "");
    const auto source = std::find_if(m_InstalledManifests.begin(), m_InstalledManifests.end(),
                                     [this](const ReleaseManifest* manifest) {
                                         return manifest && manifest->m_ReleaseVersion == m_SourceVersion;
                                     });
    if (source == m_InstalledManifests.end()) {
        QUOR_LOG(Log::ERROR, "Unexpectedly failed to find source manifest");
        return E_FAIL;
    }
    const ReleaseManifest& sourceManifest = **source;
    m_InstalledManifests.erase(source);
    m_InstalledManifests.push_back(&m_DestinationManifest);

    const std::string root = Common::LocalRootFolder::Get();
    const std::string projectPath = root + "/projects/" + m_ProjectName;
    for (const ENTRY& entry : sourceManifest.m_Entries) {
        if (entry.flags & (ReleaseManifest::FLAG_MANAGED | ReleaseManifest::FLAG_ARCHIVED)) {
            if (IsEntryInAnyReleaseManifest(entry, m_InstalledManifests.begin(), m_InstalledManifests.end())) {
                QUOR_LOG(Log::VERBOSE,
                         "Managed file \"%s\":0x%08lx is needed by another release and will not be deleted.",
                         entry.name.c_str(), static_cast<unsigned long>(entry.version));
            } else if (entry.flags & ReleaseManifest::FLAG_MANAGED) {
                files.push_back(projectPath + "/managedfiles/" + Common::ConvertVersion::ToString(entry.version) +
                                "/" + entry.name);
            } else {
                QUOR_LOG(Log::VERBOSE,
                         "Managed file \"%s\":0x%08lx is no longer needed by any installed release and will be "
                         "deleted.",
                         entry.name.c_str(), static_cast<unsigned long>(entry.version));
                archivedFiles.emplace_back(entry.version, entry.name);
            }
            continue;
        }
        const ENTRY* kept = UpdateAndInstallShared::FindManifestEntry(m_DestinationManifest, entry.name);
        if (kept && !(kept->flags & (ReleaseManifest::FLAG_MANAGED | ReleaseManifest::FLAG_ARCHIVED))) {
            QUOR_LOG(Log::VERBOSE, "Unmanaged file \"%s\" is used by destination version and will not be deleted.",
                     entry.name.c_str());
            continue;
        }
        QUOR_LOG(Log::VERBOSE,
                 "Unmanaged file \"%s\":0x%08lx is no longer needed by any installed release and will be deleted.",
                 entry.name.c_str(), static_cast<unsigned long>(entry.version));
        files.push_back(projectPath + "/releases/" + Common::ConvertVersion::ToString(m_TargetVersion) + "/deploy/" +
                        entry.name);
    }
    return S_OK;
}

HRESULT UpdateInPlace::DeleteFilesStep(const std::vector<std::string>& files,
                                       const std::vector<std::pair<DWORD, std::string>>& archivedFiles) {
    QUOR_LOG(Log::VERBOSE, "%s", "");
    for (const std::string& path : files) {
        if (CancelRequested()) return E_ABORT;
        if (!Common::LocalFileSystem::DoesFileOrDirectoryExist(path)) {
            QUOR_LOG(Log::ERROR, "File \"%s\" was already deleted.", path.c_str());
            continue;
        }
        const HRESULT hr = Common::LocalFileSystem::DeleteFile(path);
        if (FAILED(hr)) {
            QUOR_LOG(Log::ERROR, "Failed to delete unneeded managed file \"%s\".", path.c_str());
            return hr;
        }
    }
    for (const auto& [version, name] : archivedFiles) {
        if (CancelRequested()) return E_ABORT;
        const HRESULT hr = ManagedFileHelper::RemoveFile(m_ProjectName, version, name);
        if (FAILED(hr)) {
            QUOR_LOG(Log::ERROR, "Failed to delete unneeded managed file \"%s\":0x%08lx:\"%s\".",
                     m_ProjectName.c_str(), static_cast<unsigned long>(version), name.c_str());
            return hr;
        }
    }
    const HRESULT hr = ManagedFileHelper::Flush(0);
    if (FAILED(hr)) QUOR_LOG(Log::ERROR, "Failed to flush managed files");
    return hr;
}

}  // namespace Quor::User::UpdateProject
