#include "update/UpdateInPlace.h"

#include "archive/ManagedFileHelper.h"
#include "common/ConvertVersion.h"
#include "common/EntryPlacement.h"
#include "common/LocalDirectoryStructure.h"
#include "common/LocalRootFolder.h"
#include "common/Log.h"
#include "common/ManifestFile.h"
#include "install/DeployFolderFinish.h"
#include "install/DownloadFilesStep.h"
#include "install/InstallSteps.h"
#include "install/InstalledState.h"
#include "install/ManifestIdentity.h"
#include "install/PatchFilesStep.h"
#include "install/PatchSelection.h"
#include "install/PreviousManifest.h"
#include "install/ReleasePlan.h"
#include "install/UpdateAndInstallShared.h"
#include "remote/AutoTemporaryFile.h"
#include "remote/LocalFileSystemHelper.h"
#include "remote/ReleaseManifestPaths.h"
#include "update/ArchiveLockCheck.h"
#include "update/FreeSpaceCheck.h"
#include "update/UpdateProject.h"

namespace Quor::User::UpdateProject {
namespace {

using Common::ReleaseManifest;
using ENTRY = Common::ReleaseManifest::ENTRY;

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

    // The target's manifest is fetched and checked, and what could stop the update is looked
    // for, before the source stops being complete: a refusal then leaves the source as it was.
    Common::AutoTemporaryFile fetched(m_LocalFileSystem, hr);
    if (FAILED(hr)) return hr;
    hr = FetchDestinationManifest(fetched.GetPath());
    if (FAILED(hr)) return hr;
    const auto source = std::find_if(m_InstalledManifests.begin(), m_InstalledManifests.end(),
                                     [this](const ReleaseManifest* manifest) {
                                         return manifest && manifest->m_ReleaseVersion == m_SourceVersion;
                                     });
    std::string projectFolder;
    hr = Common::LocalDirectoryStructure::GetProjectPath(m_ProjectName, projectFolder);
    if (FAILED(hr)) return hr;
    if (source != m_InstalledManifests.end() &&
        (IsUpdateBlockedByArchiveLocks(m_ProjectName, **source, m_DestinationManifest, m_InstalledManifests) ||
         IsUpdateBlockedByFreeSpace(projectFolder, **source, m_DestinationManifest, m_InstalledManifests))) {
        QUOR_LOG(Log::ERROR, "The update cannot complete; the source release stays as it is.");
        return E_FAIL;
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
    bool moved = true;
    if (FAILED(Common::LocalFileSystem::MoveFile(sourceFolder, targetFolder, 2))) {
        moved = false;
        QUOR_LOG(Log::VERBOSE, "Rename failed, trying copy");
        hr = Common::LocalFileSystemHelper::CopyDirectoryTree(sourceFolder, targetFolder, m_LocalFileSystem, false);
        if (FAILED(hr)) {
            QUOR_LOG(Log::ERROR, "Failed to rename release directory");
            return hr;
        }
    }
    // The source's manifest stays beside the folder until the target is complete: a rerun of an
    // interrupted update learns from it which files of the deploy folder are the source's.
    hr = PreviousManifest::TakeFromMovedFolder(targetFolder);
    if (FAILED(hr)) {
        RestoreSource(moved, false, sourceFolder, targetFolder, sourceOk);
        return hr;
    }
    hr = Common::LocalFileSystem::MoveFile(fetched.GetPath(), targetFolder + "/releasemanifest", 0);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failure to download dest manifest.");
        RestoreSource(moved, true, sourceFolder, targetFolder, sourceOk);
        return hr;
    }
    fetched.SetKeep();  // it is the target's manifest now
    return S_OK;
}

// Fetches the target's manifest to `path` (a temporary file) and loads it; a manifest of another
// project or release is refused.
HRESULT UpdateInPlace::FetchDestinationManifest(const std::string& path) {
    const std::string relative =
        m_ProjectName + "/releases/" + Common::ConvertVersion::ToString(m_TargetVersion) + "/releasemanifest";
    m_AutoUpdateProgress.EditProgress([&relative](Quor::API::Progress& record) { record.m_CurrentItem = relative; });
    m_AutoUpdateProgress.Tick(0);
    Common::TransferBound bound(static_cast<int64_t>(Common::kMaxReleaseManifestBytes));
    HRESULT hr = m_RemoteFileServer.GetFile(m_RemoteFileServer.GetDownloadPath() + "/projects/" + relative, path,
                                            &bound, false);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failure to download dest manifest.");
        return hr;
    }
    hr = m_DestinationManifest.Load(path, m_AutoUpdateProgress.GetCancelFlag());
    if (SUCCEEDED(hr) && !IsManifestOfRelease(m_DestinationManifest, m_ProjectName, m_TargetVersion)) hr = E_FAIL;
    if (FAILED(hr)) QUOR_LOG(Log::ERROR, "Failure to load dest manifest.");
    return hr;
}

// Undoes the move of the source folder (a copy made instead is left as a partial target) and
// marks the source complete again: nothing in it was changed. recorded: the source's manifest was
// taken as the folder's record already, and is put back first.
void UpdateInPlace::RestoreSource(bool moved, bool recorded, const std::string& sourceFolder,
                                  const std::string& targetFolder, const std::string& sourceOk) {
    if (recorded && FAILED(PreviousManifest::Undo(targetFolder))) return;
    if (moved && FAILED(Common::LocalFileSystem::MoveFile(targetFolder, sourceFolder, 0))) {
        QUOR_LOG(Log::ERROR, "Failed to move \"%s\" back to \"%s\"", targetFolder.c_str(), sourceFolder.c_str());
        return;
    }
    if (FAILED(UpdateAndInstallShared::CreateOkFile(sourceOk)))
        QUOR_LOG(Log::ERROR, "Failed to mark \"%s\" complete again", sourceFolder.c_str());
}

HRESULT UpdateInPlace::CalculateWorkStep() {
    QUOR_LOG(Log::VERBOSE, "%s", "");
    const std::vector<const ReleaseManifest*> holders(m_InstalledManifests.begin(), m_InstalledManifests.end());
    const ReleasePlan::Sources sources{holders, m_PatchManifest, m_PatchSourceManifest};
    // A patch from the source starts from the files of the folder being updated.
    const DWORD patchKind = m_PatchManifest && m_PatchManifest->m_SourceReleaseVersion == m_SourceVersion
                                ? FileToPatch::KIND_IN_PLACE
                                : 0;
    return ReleasePlan::Calculate(m_ProjectName, m_TargetVersion, m_DestinationManifest, sources,
                                  ReleasePlan::ForUpdateInPlace(m_SourceVersion, patchKind),
                                  {m_FilesToDownload, m_FilesToPatch, m_FilesToCopy, m_FilesToArchive,
                                   m_FilesToDeleteFromArchive, m_DisplacedReleases},
                                  m_LocalFileSystem, m_AutoUpdateProgress);
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
    if (!step(ReleasePlan::WithdrawDisplaced(m_ProjectName, m_DisplacedReleases),
              "Failed to withdraw the completion of releases whose copies are replaced"))
        return m_hr;
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
    if (!step(UpdateAndInstallShared::RemoveStaleDeployFiles(m_ProjectName, m_TargetVersion, m_DestinationManifest,
                                                             m_LocalFileSystem, progress),
              "Failed to remove stale deploy files"))
        return m_hr;
    if (!step(UpdateAndInstallShared::ExecuteRunMeFilesStep(m_DestinationManifest, progress),
              "ExecuteRunMeFilesStep files step failed"))
        return m_hr;
    std::string okPath;
    HRESULT hr = Common::LocalDirectoryStructure::GetProjectReleaseOkPath(m_ProjectName, m_TargetVersion, okPath);
    if (SUCCEEDED(hr)) hr = UpdateAndInstallShared::CreateOkFile(okPath);
    if (!step(hr, "Failed to create S_OK file")) return m_hr;
    PreviousManifest::ForgetOnceComplete(m_ProjectName, m_TargetVersion);
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
        const Common::EntryPlace place = Common::PlaceOf(entry);
        if (place != Common::EntryPlace::kDeploy) {
            if (IsEntryInAnyReleaseManifest(entry, m_InstalledManifests.begin(), m_InstalledManifests.end())) {
                QUOR_LOG(Log::VERBOSE,
                         "Managed file \"%s\":0x%08lx is needed by another release and will not be deleted.",
                         entry.name.c_str(), static_cast<unsigned long>(entry.version));
            } else if (place == Common::EntryPlace::kManaged) {
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
        if (kept && Common::PlaceOf(*kept) == Common::EntryPlace::kDeploy) {
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
