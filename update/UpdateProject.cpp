#include "update/UpdateProject.h"

#include <algorithm>

#include "common/LocalDirectoryStructure.h"
#include "common/Log.h"
#include "common/ReleaseVersion.h"
#include "install/InstalledSolutionInfo.h"
#include "install/InstalledState.h"
#include "install/ProjectVersionChoice.h"
#include "remote/LocalFileSystemHelper.h"
#include "remote/TelvoLogger.h"
#include "update/PatchStatistics.h"

namespace Quor::User::UpdateProject {

Discover::Discover(const InputParameters& inputParameters)
    : m_InputParameters(inputParameters),
      m_SourceVersion(INVALID_RELEASE_VERSION),
      m_TargetVersion(INVALID_RELEASE_VERSION) {
    QUOR_LOG(Log::VERBOSE, "%s", "");
    const std::string& project = m_InputParameters.m_ProjectName;
    Common::LocalFileSystem& fileSystem = m_InputParameters.m_LocalFileSystem;
    AutoUpdateProgress& progress = m_InputParameters.m_AutoUpdateProgress;

    m_hr = UpdateAndInstallShared::ChooseProjectVersion(project, m_InputParameters.m_TargetVersion,
                                                        m_InputParameters.m_RemoteFileServer, m_TargetVersion,
                                                        progress);
    if (FAILED(m_hr)) {
        QUOR_LOG(Log::ERROR, "Failed to choose a target version");
        return;
    }
    m_hr = EnsureProjectInstalled(project, fileSystem);
    if (FAILED(m_hr)) {
        QUOR_LOG(Log::ERROR, "Failed while ensuring m_InputParameters.m_ProjectName is installed");
        return;
    }
    std::vector<DWORD> complete, all;
    m_hr = EnumerateInstalledProjectReleases(project, fileSystem, complete, false);
    if (FAILED(m_hr)) {
        QUOR_LOG(Log::ERROR, "Failed to enumerate installed releases.");
        return;
    }
    m_hr = EnumerateInstalledProjectReleases(project, fileSystem, all, true);
    if (FAILED(m_hr)) {
        QUOR_LOG(Log::ERROR, "Failed to enumerate all partially installed releases.");
        return;
    }
    // Partially installed: present without "S_OK". The listing with invalid releases holds the
    // complete ones too, and a complete release must never be taken over as a partial one.
    std::vector<DWORD> partial;
    std::set_difference(all.begin(), all.end(), complete.begin(), complete.end(), std::back_inserter(partial));

    if (std::binary_search(complete.begin(), complete.end(), m_TargetVersion)) {
        QUOR_LOG(Log::VERBOSE, "Target version %d is already installed", static_cast<int>(m_TargetVersion));
    } else {
        m_hr = ChooseSource(complete, partial);
        if (SUCCEEDED(m_hr)) m_hr = PrepareFreshInstall(partial);
    }
    if (FAILED(m_hr)) return;

    if (m_UpdateInPlace) {
        PatchStatistics::ReportTopFiles(m_UpdateInPlace->m_FilesToDownload, m_UpdateInPlace->m_FilesToPatch, progress,
                                        project.c_str(), m_NewUser);
    } else if (m_InstallDiscover) {
        PatchStatistics::ReportTopFiles(m_InstallDiscover->m_FilesToDownload, m_InstallDiscover->m_FilesToPatch,
                                        progress, project.c_str(), m_NewUser);
    } else {
        PatchStatistics::ReportSize(progress, project.c_str(), m_NewUser);
    }
    TelvoLogger::GetInstance()->SendDataToServer();
}

// Chooses the source and, when it is a complete release other than the target, discovers the
// update in place from it.
HRESULT Discover::ChooseSource(const std::vector<DWORD>& complete, const std::vector<DWORD>& partial) {
    const DWORD requested = m_InputParameters.m_SourceVersion;
    bool chosen = false;
    if (requested != INVALID_RELEASE_VERSION) {
        if (!std::binary_search(complete.begin(), complete.end(), requested)) {
            QUOR_LOG(Log::ERROR, "User specified source version %d but that version is not installed",
                     static_cast<int>(requested));
        } else if (requested >= m_TargetVersion) {
            QUOR_LOG(Log::ERROR, "User specified source version %d but that version is not before target version %d",
                     static_cast<int>(requested), static_cast<int>(m_TargetVersion));
        } else {
            m_SourceVersion = requested;
            QUOR_LOG(Log::VERBOSE, "User specific source version %d will be used", static_cast<int>(requested));
            chosen = true;
        }
    }
    if (!chosen) {
        if (std::binary_search(partial.begin(), partial.end(), m_TargetVersion)) {
            m_SourceVersion = m_TargetVersion;
        } else {
            const auto below = std::lower_bound(complete.begin(), complete.end(), m_TargetVersion);
            if (below != complete.begin()) {
                m_SourceVersion = *std::prev(below);
                QUOR_LOG(Log::VERBOSE, "Chose %d as source version", static_cast<int>(m_SourceVersion));
            } else {
                QUOR_LOG(Log::VERBOSE, "No installed release before desired release %d",
                         static_cast<int>(m_TargetVersion));
            }
        }
    }
    if (m_SourceVersion == INVALID_RELEASE_VERSION || m_SourceVersion == m_TargetVersion) return S_OK;
    if (IsSourceNeededBySolutions()) return S_OK;

    QUOR_LOG(Log::VERBOSE, "Update in place WILL be used.");
    m_UpdateInPlace = std::make_unique<UpdateInPlace>(
        m_InputParameters.m_ProjectName, m_SourceVersion, m_TargetVersion, m_InputParameters.m_LocalFileSystem,
        m_InputParameters.m_RemoteFileServer, m_InputParameters.m_AutoUpdateProgress);
    const HRESULT hr = m_UpdateInPlace->DoDiscovery();
    if (FAILED(hr)) QUOR_LOG(Log::ERROR, "UpdateInPlace discovery failed");
    return hr;
}

// A source release that an installed solution lists stays where it is: moving it would leave that
// solution complete over a release that is gone. The target is then installed beside it.
bool Discover::IsSourceNeededBySolutions() const {
    const Common::SolutionManifest::PROJECT source{m_InputParameters.m_ProjectName, m_SourceVersion};
    if (!IsProjectReleaseNeededBySolutions(source, m_InputParameters.m_LocalFileSystem)) return false;
    QUOR_LOG(Log::VERBOSE, "Source release %d of %s is used by an installed solution, doing install",
             static_cast<int>(m_SourceVersion), m_InputParameters.m_ProjectName.c_str());
    return true;
}

// Without an update in place: the target is installed fresh, over the newest partially installed
// release's files when there is no source.
HRESULT Discover::PrepareFreshInstall(const std::vector<DWORD>& partial) {
    if (m_UpdateInPlace) return S_OK;
    QUOR_LOG(Log::VERBOSE, "Update in place will NOT be used.");
    const std::string& project = m_InputParameters.m_ProjectName;
    Common::LocalFileSystem& fileSystem = m_InputParameters.m_LocalFileSystem;
    if (m_SourceVersion == INVALID_RELEASE_VERSION) {
        m_NewUser = true;
        if (!partial.empty()) {
            std::string from, to;
            HRESULT hr = Common::LocalDirectoryStructure::GetProjectReleasePath(project, partial.back(), from);
            if (SUCCEEDED(hr)) hr = Common::LocalDirectoryStructure::GetProjectReleasePath(project, m_TargetVersion, to);
            if (FAILED(hr)) return hr;
            if (FAILED(Common::LocalFileSystem::MoveFile(from, to, 0))) {
                QUOR_LOG(Log::VERBOSE, "Rename failed, trying copy");
                Common::LocalFileSystemHelper::CopyDirectoryTree(from, to, fileSystem, false);
            }
        }
    }
    m_InstallInputParameters.reset(new InstallProjectRelease::InputParameters{
        project, m_TargetVersion, fileSystem, m_InputParameters.m_RemoteFileServer,
        m_InputParameters.m_AutoUpdateProgress});
    m_InstallDiscover = std::make_unique<InstallProjectRelease::Discover>(*m_InstallInputParameters);
    const HRESULT hr = m_InstallDiscover->m_hr;
    if (FAILED(hr)) QUOR_LOG(Log::ERROR, "InstallProjectRelease discovery failed");
    return hr;
}

Discover::~Discover() = default;

Execute::Execute(const Discover& discover, DWORD* const sourceVersion, DWORD* const targetVersion)
    : m_Discover(discover) {
    QUOR_LOG(Log::VERBOSE, "%s", "");
    m_hr = discover.m_hr;
    if (FAILED(m_hr)) {
        QUOR_LOG(Log::ERROR, "Discover failed");
        return;
    }
    if (sourceVersion) *sourceVersion = discover.m_SourceVersion;
    if (targetVersion) *targetVersion = discover.m_TargetVersion;
    if (discover.m_UpdateInPlace) {
        m_hr = discover.m_UpdateInPlace->Execute();
        if (FAILED(m_hr)) {
            QUOR_LOG(Log::ERROR, "Update in place execute failed");
            return;
        }
    } else if (discover.m_InstallDiscover) {
        m_hr = InstallProjectRelease::Execute(*discover.m_InstallDiscover).m_hr;
        if (FAILED(m_hr)) {
            QUOR_LOG(Log::ERROR, "InstallProjectRelease execute failed");
            return;
        }
    } else {
        QUOR_LOG(Log::VERBOSE, "No work to do");
    }
    QUOR_LOG(Log::VERBOSE, "Succeeded");
    PatchStatistics::ReportTimeAndSpeed(discover.m_InputParameters.m_AutoUpdateProgress,
                                        discover.m_InputParameters.m_ProjectName.c_str(), discover.m_NewUser);
}

}  // namespace Quor::User::UpdateProject
