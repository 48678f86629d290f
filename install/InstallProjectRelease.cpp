#include "install/InstallProjectRelease.h"

#include "common/ConvertVersion.h"
#include "common/LocalDirectoryStructure.h"
#include "common/LocalRootFolder.h"
#include "common/Log.h"
#include "common/ManifestFile.h"
#include "common/ReleaseVersion.h"
#include "install/DeployFolderFinish.h"
#include "install/DownloadFilesStep.h"
#include "install/InstallSteps.h"
#include "install/InstalledState.h"
#include "install/MadeFolders.h"
#include "install/ManifestIdentity.h"
#include "install/PatchFilesStep.h"
#include "install/PatchSelection.h"
#include "install/ProjectVersionChoice.h"
#include "install/ReleasePlan.h"
#include "install/UpdateAndInstallShared.h"

namespace Quor::User::InstallProjectRelease {
namespace {

using Common::ReleaseManifest;
using ENTRY = Common::ReleaseManifest::ENTRY;

// Logs and answers true when the job's owner asked to stop.
bool CancelRequested(AutoUpdateProgress& progress) {
    if (!Common::IsCancelRequested(progress.GetCancelFlag())) return false;
    QUOR_LOG(Log::ERROR, "Cancellation request detected, aborting");
    return true;
}

// Sorts every entry of manifest into the work lists (see the header), as an installation plans.
HRESULT CalculateWorkStep(const std::string& project, const DWORD version, const ReleaseManifest& manifest,
                          const std::vector<std::unique_ptr<ReleaseManifest>>& installed, Discover& lists,
                          Common::LocalFileSystem& fileSystem, AutoUpdateProgress& progress) {
    QUOR_LOG(Log::DEBUG, "%s", "");
    std::vector<const ReleaseManifest*> holders;
    for (const auto& release : installed) holders.push_back(release.get());
    const ReleasePlan::Sources sources{holders, lists.m_PatchManifest.get(), lists.m_PatchSourceManifest.get()};
    return ReleasePlan::Calculate(project, version, manifest, sources, ReleasePlan::kInstall,
                                  {lists.m_FilesToDownload, lists.m_FilesToPatch, lists.m_FilesToCopy,
                                   lists.m_FilesToArchive, lists.m_FilesToDeleteFromArchive, lists.m_DisplacedReleases},
                                  fileSystem, progress);
}

}  // namespace

Discover::Discover(const InputParameters& inputParameters)
    : m_InputParameters(inputParameters), m_ReleaseVersion(INVALID_RELEASE_VERSION) {
    QUOR_LOG(Log::DEBUG, "%s", "");
    const std::string& project = m_InputParameters.m_ProjectName;
    Common::LocalFileSystem& fileSystem = m_InputParameters.m_LocalFileSystem;
    IRemoteFileServer& server = m_InputParameters.m_RemoteFileServer;
    AutoUpdateProgress& progress = m_InputParameters.m_AutoUpdateProgress;

    if (CancelRequested(progress)) {
        m_hr = E_ABORT;
        return;
    }
    m_hr = EnsureProjectInstalled(project, fileSystem);
    if (FAILED(m_hr)) {
        QUOR_LOG(Log::ERROR, "Failed to ensure that basic directory structure was intact");
        return;
    }
    std::vector<Common::ReleaseManifest*> installed;
    m_hr = LoadManifestsForInstalledReleases(project, fileSystem, progress, installed, false);
    for (Common::ReleaseManifest* manifest : installed) m_InstalledManifests.emplace_back(manifest);
    if (FAILED(m_hr)) {
        QUOR_LOG(Log::ERROR, "Failed to get the manifests for the installed releases.");
        return;
    }

    if (m_InputParameters.m_ReleaseVersion == INVALID_RELEASE_VERSION) {
        m_hr = UpdateAndInstallShared::ChooseProjectVersion(project, m_InputParameters.m_ReleaseVersion, server,
                                                            m_ReleaseVersion, progress);
        if (FAILED(m_hr)) {
            QUOR_LOG(Log::ERROR,
                     "Failure while attempting to pick a m_InputParameters.m_ProjectName version for the user.");
            return;
        }
        QUOR_LOG(Log::VERBOSE, "User did not specify a version, so we chose %d", static_cast<int>(m_ReleaseVersion));
    } else {
        bool available = false;
        m_hr = UpdateAndInstallShared::IsProjectReleaseAvailable(project, m_InputParameters.m_ReleaseVersion, server,
                                                                 available);
        if (FAILED(m_hr)) {
            QUOR_LOG(Log::ERROR,
                     "Failure when trying to validate m_InputParameters.m_ProjectName release is available");
            return;
        }
        if (!available) {
            m_hr = E_FAIL;
            QUOR_LOG(Log::ERROR, "Version %d of m_InputParameters.m_ProjectName %s is not available",
                     static_cast<int>(m_InputParameters.m_ReleaseVersion), project.c_str());
            return;
        }
        QUOR_LOG(Log::VERBOSE, "User asked for version %d and we verified it is available and valid",
                 static_cast<int>(m_InputParameters.m_ReleaseVersion));
        m_ReleaseVersion = m_InputParameters.m_ReleaseVersion;
    }
    m_ReleaseVersionString = Common::ConvertVersion::ToString(m_ReleaseVersion);

    // Installing a release that is complete again: it stops being complete before any of its
    // files is checked (the checks may delete or rewrite them), and it cannot provide its own
    // files or be its own patch source.
    std::string releasePath, okPath;
    m_hr = Common::LocalDirectoryStructure::GetProjectReleasePath(project, m_ReleaseVersion, releasePath);
    if (SUCCEEDED(m_hr)) m_hr = Common::LocalDirectoryStructure::GetProjectReleaseOkPath(project, m_ReleaseVersion, okPath);
    if (FAILED(m_hr)) return;
    if (Common::LocalFileSystem::DoesFileOrDirectoryExist(okPath)) {
        m_hr = Common::LocalFileSystem::DeleteFile(okPath);
        if (FAILED(m_hr)) {
            QUOR_LOG(Log::ERROR, "Failed to delete \"%s\" of the release being installed again.", okPath.c_str());
            return;
        }
    }
    std::erase_if(m_InstalledManifests, [this](const std::unique_ptr<Common::ReleaseManifest>& manifest) {
        return manifest && manifest->m_ReleaseVersion == m_ReleaseVersion;
    });

    QUOR_LOG(Log::DEBUG, "Creating folders.");
    std::string projectPath;
    m_hr = Common::LocalDirectoryStructure::GetProjectPath(project, projectPath);
    const std::string folders[] = {releasePath, releasePath + "/deploy", projectPath + "/managedfiles",
                                   projectPath + "/managedfiles/" + m_ReleaseVersionString};
    // A discovery that fails takes the folders it made away again (the release's with the
    // manifest it fetched into it); folders that were there stay.
    MadeFolders made(m_hr, fileSystem);
    for (const std::string& folder : folders) {
        if (FAILED(m_hr)) break;
        if (!Common::LocalFileSystem::DoesFileOrDirectoryExist(folder)) {
            m_hr = Common::LocalFileSystem::CreateDirectory(folder);
            if (SUCCEEDED(m_hr)) made.Made(folder);
        }
    }
    if (FAILED(m_hr)) {
        QUOR_LOG(Log::DEBUG, "Failed while creating folders.");
        return;
    }

    Common::PatchManifest* patchManifest = nullptr;
    Common::ReleaseManifest* patchSourceManifest = nullptr;
    m_hr = UpdateAndInstallShared::FindBestPatchForRelease(project, m_ReleaseVersion, fileSystem, server, patchManifest,
                                                          patchSourceManifest, progress);
    m_PatchManifest.reset(patchManifest);
    m_PatchSourceManifest.reset(patchSourceManifest);
    if (FAILED(m_hr)) {
        QUOR_LOG(Log::ERROR, "Failure while looking for potential patches.");
        return;
    }

    QUOR_LOG(Log::DEBUG, "Downloading manifest for release we are installing.");
    const std::string relative = project + "/releases/" + m_ReleaseVersionString + "/releasemanifest";
    progress.EditProgress([&relative](Quor::API::Progress& record) { record.m_CurrentItem = relative; });
    progress.Tick(0);
    const std::string localManifest = releasePath + "/releasemanifest";
    Common::TransferBound bound(static_cast<int64_t>(Common::kMaxManifestFileSize));
    m_hr = server.GetFile(server.GetDownloadPath() + "/projects/" + relative, localManifest, &bound, false);
    if (FAILED(m_hr)) {
        QUOR_LOG(Log::ERROR, "Failure to download m_ReleaseManifest.");
        return;
    }
    if (CancelRequested(progress)) {
        m_hr = E_ABORT;
        return;
    }
    QUOR_LOG(Log::DEBUG, "Loading release manifest.");
    m_hr = m_ReleaseManifest.Load(localManifest, progress.GetCancelFlag());
    // Files go where the manifest's entries point, under the project and release asked for.
    if (SUCCEEDED(m_hr) && !IsManifestOfRelease(m_ReleaseManifest, project, m_ReleaseVersion)) m_hr = E_FAIL;
    if (FAILED(m_hr)) {
        QUOR_LOG(Log::ERROR, "Failure to load release manifest.");
        return;
    }
    if (CancelRequested(progress)) {
        m_hr = E_ABORT;
        return;
    }
    m_hr = CalculateWorkStep(project, m_ReleaseVersion, m_ReleaseManifest, m_InstalledManifests, *this, fileSystem,
                             progress);
    if (FAILED(m_hr)) QUOR_LOG(Log::ERROR, "Calculate work step failed");
}

Discover::~Discover() = default;

Execute::Execute(const Discover& discover) : m_Discover(discover) {
    QUOR_LOG(Log::DEBUG, "%s", "");
    const InputParameters& input = discover.m_InputParameters;
    const std::string& project = input.m_ProjectName;
    AutoUpdateProgress& progress = input.m_AutoUpdateProgress;
    Common::LocalFileSystem& fileSystem = input.m_LocalFileSystem;

    m_hr = discover.m_hr;
    if (FAILED(m_hr)) {
        QUOR_LOG(Log::ERROR, "Discover failed, can't continue");
        return;
    }
    m_hr = ReleasePlan::WithdrawDisplaced(project, discover.m_DisplacedReleases);
    if (FAILED(m_hr)) return;
    m_hr = UpdateAndInstallShared::CopyFilesStep(discover.m_FilesToCopy, discover.m_FilesToDownload, project,
                                                 fileSystem, progress);
    if (FAILED(m_hr)) {
        QUOR_LOG(Log::ERROR, "Copy files step failed");
        return;
    }
    m_hr = UpdateAndInstallShared::DeleteFilesFromArchivesStep(discover.m_FilesToDeleteFromArchive, project, progress);
    if (FAILED(m_hr)) {
        QUOR_LOG(Log::ERROR, "Delete files from archives step failed");
        return;
    }
    if (discover.m_PatchManifest) {
        m_hr = UpdateAndInstallShared::PatchFilesStep(discover.m_FilesToPatch, discover.m_FilesToDownload, project,
                                                      *discover.m_PatchManifest, input.m_RemoteFileServer, fileSystem,
                                                      progress);
        if (FAILED(m_hr)) {
            QUOR_LOG(Log::ERROR, "Failure during patch step");
            return;
        }
    }
    m_hr = UpdateAndInstallShared::ArchiveFilesStep(discover.m_FilesToArchive, discover.m_FilesToDownload, project,
                                                    fileSystem, progress);
    if (FAILED(m_hr)) {
        QUOR_LOG(Log::ERROR, "Archive files step failed");
        return;
    }
    m_hr = UpdateAndInstallShared::DownloadFilesStep(discover.m_FilesToDownload, discover.m_ReleaseManifest,
                                                     input.m_RemoteFileServer, fileSystem, progress);
    if (FAILED(m_hr)) {
        QUOR_LOG(Log::ERROR, "Download files step failed");
        return;
    }
    // A partial folder installed over may hold files of the release it was before.
    m_hr = UpdateAndInstallShared::RemoveUnlistedDeployFiles(project, discover.m_ReleaseVersion,
                                                             discover.m_ReleaseManifest, fileSystem, progress);
    if (FAILED(m_hr)) {
        QUOR_LOG(Log::ERROR, "Failed to remove unlisted deploy files");
        return;
    }
    m_hr = UpdateAndInstallShared::ExecuteRunMeFilesStep(discover.m_ReleaseManifest, progress);
    if (FAILED(m_hr)) {
        QUOR_LOG(Log::ERROR, "ExecuteRunMeFilesStep files step failed");
        return;
    }
    std::string okPath;
    m_hr = Common::LocalDirectoryStructure::GetProjectReleaseOkPath(project, discover.m_ReleaseVersion, okPath);
    if (SUCCEEDED(m_hr)) m_hr = UpdateAndInstallShared::CreateOkFile(okPath);
    if (FAILED(m_hr)) {
        QUOR_LOG(Log::ERROR, "Failed to create S_OK file");
        return;
    }
    QUOR_LOG(Log::DEBUG, "Succeeded");
}

}  // namespace Quor::User::InstallProjectRelease
