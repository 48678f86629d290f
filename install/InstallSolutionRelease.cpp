#include "install/InstallSolutionRelease.h"

#include <algorithm>

#include "common/ConfigurationManifest.h"
#include "common/ConvertVersion.h"
#include "common/LocalDirectoryStructure.h"
#include "common/Log.h"
#include "common/ManifestFile.h"
#include "common/ReleaseManifestCache.h"
#include "common/ReleaseVersion.h"
#include "common/SolutionManifestHelper.h"
#include "foundation/CStd/CStdStrings.h"
#include "install/DeployFolderFinish.h"
#include "install/InstalledState.h"
#include "install/PreviousManifest.h"
#include "install/UpdateAndInstallShared.h"
#include "install/UpdateAndInstallSolutionShared.h"
#include "remote/AutoTemporaryFile.h"

namespace Quor::User::InstallSolutionRelease {
namespace {

using PROJECT = Common::SolutionManifest::PROJECT;
namespace Shared = UpdateAndInstallSolutionShared;

// Sets hr to E_ABORT (logged under the caller's tag) when the job's owner asked to stop, else to S_OK.
bool CancelRequested(const char* tag, AutoUpdateProgress& progress, HRESULT& hr) {
    if (!Common::IsCancelRequested(progress.GetCancelFlag())) {
        hr = S_OK;
        return false;
    }
    hr = E_ABORT;
    QUOR_LOG_TAG(Log::ERROR, tag, "Cancellation request detected, aborting");
    return true;
}

// Runs the discovery of every project release of the configuration that is not installed yet.
HRESULT DoDiscovery(const std::vector<PROJECT>& projects, Common::LocalFileSystem& fileSystem,
                    IRemoteFileServer& server, AutoUpdateProgress& progress,
                    std::vector<std::unique_ptr<InstallProjectRelease::InputParameters>>& inputs,
                    std::vector<std::unique_ptr<InstallProjectRelease::Discover>>& discovers) {
    HRESULT hr = S_OK;
    if (CancelRequested(__PRETTY_FUNCTION__, progress, hr)) return hr;
    for (const PROJECT& project : projects) {
        hr = EnsureProjectInstalled(project.name, fileSystem);
        if (FAILED(hr)) {
            QUOR_LOG(Log::ERROR, "Failed to setup directories for project");
            return hr;
        }
        std::vector<DWORD> installed;
        hr = EnumerateInstalledProjectReleases(project.name, fileSystem, installed, false);
        if (FAILED(hr)) {
            QUOR_LOG(Log::ERROR, "Failed to enumerate releases of a project to check for already installed");
            return hr;
        }
        if (std::binary_search(installed.begin(), installed.end(), project.version)) {
            QUOR_LOG(Log::DEBUG, "Release %s for project %s is already installed",
                     Common::ConvertVersion::ToString(project.version).c_str(), project.name.c_str());
            continue;
        }
        inputs.push_back(std::make_unique<InstallProjectRelease::InputParameters>(
            InstallProjectRelease::InputParameters{project.name, project.version, fileSystem, server, progress}));
        discovers.push_back(std::make_unique<InstallProjectRelease::Discover>(*inputs.back()));
        hr = discovers.back()->m_hr;
        if (FAILED(hr)) {
            QUOR_LOG(Log::ERROR, "Discovery failed");
            return hr;
        }
    }
    return hr;
}

}  // namespace

Discover::Discover(const InputParameters& inputParameters) : m_InputParameters(inputParameters) {
    QUOR_LOG(Log::DEBUG, "%s", "");
    const std::string& solution = m_InputParameters.m_SolutionName;
    Common::LocalFileSystem& fileSystem = m_InputParameters.m_LocalFileSystem;
    IRemoteFileServer& server = m_InputParameters.m_RemoteFileServer;
    AutoUpdateProgress& progress = m_InputParameters.m_AutoUpdateProgress;

    if (CancelRequested(__PRETTY_FUNCTION__, progress, m_hr)) return;
    m_hr = EnsureSolutionInstalled(solution, fileSystem);
    if (FAILED(m_hr)) {
        QUOR_LOG(Log::ERROR, "Ensuring that the soultino was installed failed");
        return;
    }
    if (m_InputParameters.m_ReleaseVersion == INVALID_RELEASE_VERSION) {
        m_hr = Shared::ChooseSolutionVersion(solution, INVALID_RELEASE_VERSION, server, m_ReleaseVersion, progress);
        if (FAILED(m_hr)) {
            QUOR_LOG(Log::ERROR, "Failure while validating version");
            return;
        }
        QUOR_LOG(Log::VERBOSE, "User did not specify a version, so we chose %d", static_cast<int>(m_ReleaseVersion));
    } else {
        bool available = false;
        m_hr = Shared::IsSolutionReleaseAvailable(solution, m_InputParameters.m_ReleaseVersion, server, available);
        if (FAILED(m_hr)) {
            QUOR_LOG(Log::ERROR, "Failure when trying to validate solution release is available");
            return;
        }
        if (!available) {
            m_hr = E_FAIL;
            QUOR_LOG(Log::ERROR, "Version %d of solution %s is not available",
                     static_cast<int>(m_InputParameters.m_ReleaseVersion), solution.c_str());
            return;
        }
        QUOR_LOG(Log::VERBOSE, "User asked for version %d and we verified it is available and valid",
                 static_cast<int>(m_InputParameters.m_ReleaseVersion));
        m_ReleaseVersion = m_InputParameters.m_ReleaseVersion;
    }
    m_ReleaseVersionString = Common::ConvertVersion::ToString(m_ReleaseVersion);
    if (CancelRequested(__PRETTY_FUNCTION__, progress, m_hr)) return;

    std::string releasePath;
    m_hr = Common::LocalDirectoryStructure::GetSolutionReleasePath(solution, m_ReleaseVersion, releasePath);
    if (FAILED(m_hr)) return;
    std::vector<DWORD> installed;
    bool complete = false;
    if (FAILED(EnumerateInstalledSolutionReleases(solution, fileSystem, installed, false))) {
        QUOR_LOG(Log::ERROR, "Failed to enumerate installed releases.");
    } else if ((complete = std::binary_search(installed.begin(), installed.end(), m_ReleaseVersion))) {
        const std::string path = releasePath + "/configurationmanifest";
        Common::ConfigurationManifest configuration;
        if (FAILED(configuration.Load(path))) {
            QUOR_LOG(Log::ERROR, "Failure to load manifest \"%s\".", path.c_str());
        } else if (Vorn::std_stricmp(configuration.m_Name.c_str(), m_InputParameters.m_ConfigurationName.c_str()) ==
                   0) {
            QUOR_LOG(Log::DEBUG, "Version and configuration already installed");
            m_AlreadyInstalled = true;
        } else {
            QUOR_LOG(Log::DEBUG, "Version installed, configuration change");
        }
    } else {
        QUOR_LOG(Log::DEBUG, "Version not installed");
    }
    if (CancelRequested(__PRETTY_FUNCTION__, progress, m_hr)) return;
    if (m_AlreadyInstalled) {
        QUOR_LOG(Log::DEBUG, "Already installed, returning");
        return;
    }

    QUOR_LOG(Log::DEBUG, "Creating folders.");
    for (const std::string& folder : {releasePath, releasePath + "/deploy"}) {
        if (!Common::LocalFileSystem::DoesFileOrDirectoryExist(folder)) {
            m_hr = Common::LocalFileSystem::CreateDirectory(folder);
            if (FAILED(m_hr)) break;
        }
        if (CancelRequested(__PRETTY_FUNCTION__, progress, m_hr)) break;
    }
    if (FAILED(m_hr)) {
        QUOR_LOG(Log::DEBUG, "Failed while creating folders.");
        return;
    }

    QUOR_LOG(Log::DEBUG, "Downloading manifest for %s release we are installing.", solution.c_str());
    const std::string remotePath =
        server.GetDownloadPath() + "/solutions/" + solution + "/releases/" + m_ReleaseVersionString + "/solutionmanifest";
    const std::string localPath = releasePath + "/solutionmanifest";
    // Fetched beside the tree and moved into place once it loads: the release may be complete in
    // another configuration, and a cut transfer must not leave it with a broken manifest.
    Common::AutoTemporaryFile downloaded(fileSystem, m_hr);
    Common::TransferBound bound(static_cast<int64_t>(Common::kMaxSolutionManifestBytes));
    if (SUCCEEDED(m_hr)) m_hr = server.GetFile(remotePath, downloaded.GetPath(), &bound, false);
    if (FAILED(m_hr)) {
        QUOR_LOG(Log::ERROR, "Failure to download %s manifest.", solution.c_str());
        return;
    }
    if (CancelRequested(__PRETTY_FUNCTION__, progress, m_hr)) return;

    QUOR_LOG(Log::DEBUG, "Loading manifest.");
    Common::SolutionManifest manifest;
    m_hr = manifest.Load(downloaded.GetPath());
    if (FAILED(m_hr)) {
        QUOR_LOG(Log::ERROR, "Failure to load manifest.");
        return;
    }
    // A complete folder's stale files went before its "S_OK" (a record left beside it names none);
    // a folder without it may have come from another release, whose files are recorded first.
    if (complete)
        PreviousManifest::ForgetOnceCompleteFolder(releasePath);
    else
        m_hr = PreviousManifest::KeepForeignSolution(solution, m_ReleaseVersion, releasePath, progress);
    if (FAILED(m_hr)) return;
    m_hr = Common::LocalFileSystem::MoveFile(downloaded.GetPath(), localPath, 3);
    if (FAILED(m_hr)) {
        QUOR_LOG(Log::ERROR, "Failed to move the solution manifest to \"%s\".", localPath.c_str());
        return;
    }
    downloaded.SetKeep();
    if (CancelRequested(__PRETTY_FUNCTION__, progress, m_hr)) return;
    m_hr = Common::SolutionManifestHelper::GatherProjects(m_InputParameters.m_ConfigurationName, manifest, m_Projects);
    if (FAILED(m_hr)) {
        QUOR_LOG(Log::ERROR, "Failed to gather projects for configuration \"%s\"",
                 m_InputParameters.m_ConfigurationName.c_str());
        return;
    }
    m_hr = DoDiscovery(m_Projects, fileSystem, server, progress, m_ProjectInputParameters, m_ProjectDiscovers);
    if (FAILED(m_hr)) QUOR_LOG(Log::ERROR, "Failed to do discovery");
}

Execute::Execute(const Discover& discover) : m_Discover(discover) {
    QUOR_LOG(Log::DEBUG, "%s", "");
    m_hr = discover.m_hr;
    if (FAILED(m_hr)) {
        QUOR_LOG(Log::ERROR, "Discover failed");
        return;
    }
    if (discover.m_AlreadyInstalled) {
        QUOR_LOG(Log::DEBUG, "Already installed, returning");
        return;
    }
    const InputParameters& input = discover.m_InputParameters;
    const std::string& solution = input.m_SolutionName;
    const DWORD version = discover.m_ReleaseVersion;
    Common::LocalFileSystem& fileSystem = input.m_LocalFileSystem;
    AutoUpdateProgress& progress = input.m_AutoUpdateProgress;

    // A release installed in another configuration stops counting as complete before its deploy
    // folder and configuration manifest are rewritten; an interruption must not leave a mix marked
    // complete.
    std::string okPath;
    m_hr = Common::LocalDirectoryStructure::GetSolutionReleaseOkPath(solution, version, okPath);
    if (FAILED(m_hr)) return;
    if (Common::LocalFileSystem::DoesFileOrDirectoryExist(okPath)) {
        m_hr = Common::LocalFileSystem::DeleteFile(okPath);
        if (FAILED(m_hr)) {
            QUOR_LOG(Log::ERROR, "Failed to delete \"%s\" of the release being installed again.", okPath.c_str());
            return;
        }
    }

    for (const auto& project : discover.m_ProjectDiscovers) {
        const InstallProjectRelease::Execute execute(*project);
        if (FAILED(execute.m_hr)) {
            QUOR_LOG(Log::ERROR, "Execution step failed");
            m_hr = E_FAIL;
            return;
        }
    }

    // CopyDeployFolder's steps, with the removal of a provided file's copy under another spelling
    // (the copy writes each file under its provider's). Files of projects an earlier configuration
    // named stay, as does every file no project provides.
    std::vector<PROJECT> projects = discover.m_Projects;
    Common::ReleaseManifestCache cache;
    std::vector<Shared::UNMANAGED_FILE> files;
    m_hr = Shared::GatherFiles(projects, cache, files, progress);
    if (SUCCEEDED(m_hr))
        m_hr = UpdateAndInstallShared::RemoveStaleSolutionDeployFiles(solution, version, files, fileSystem, progress);
    if (SUCCEEDED(m_hr)) m_hr = Shared::CopyUnmanagedFiles(files, projects, solution, version, fileSystem, progress);
    if (FAILED(m_hr)) {
        QUOR_LOG(Log::ERROR, "Failure while preparing solution deploy folder");
        return;
    }
    m_hr = Shared::WriteConfigurationFile(solution, version, input.m_ConfigurationName, discover.m_Projects);
    if (FAILED(m_hr)) {
        QUOR_LOG(Log::ERROR, "Failed to write configuration file");
        return;
    }
    m_hr = UpdateAndInstallShared::CreateOkFile(okPath);
    if (FAILED(m_hr)) {
        QUOR_LOG(Log::ERROR, "Failed to create S_OK file");
        return;
    }
    std::string releasePath;
    if (SUCCEEDED(Common::LocalDirectoryStructure::GetSolutionReleasePath(solution, version, releasePath)))
        PreviousManifest::ForgetOnceCompleteFolder(releasePath);
    QUOR_LOG(Log::DEBUG, "Succeeded");
}

}  // namespace Quor::User::InstallSolutionRelease
