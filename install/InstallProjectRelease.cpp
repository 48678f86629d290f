#include "install/InstallProjectRelease.h"

#include <cstring>

#include "common/ConvertVersion.h"
#include "common/FileSysHelper.h"
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
#include "install/PreviousManifest.h"
#include "install/ProjectVersionChoice.h"
#include "install/ReleasePlan.h"
#include "install/UpdateAndInstallShared.h"
#include "remote/AutoTemporaryFile.h"

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

// Whether the two files hold the same bytes; a file that cannot be read, or is larger than a
// manifest may be, differs.
bool HaveSameBytes(const std::string& first, const std::string& second) {
    UINT firstSize = 0, secondSize = 0;
    if (FAILED(Common::FileSysHelper::GetFileSize(first, firstSize)) ||
        FAILED(Common::FileSysHelper::GetFileSize(second, secondSize)) || firstSize != secondSize ||
        firstSize > Common::kMaxReleaseManifestBytes)
        return false;
    std::shared_ptr<API::IBuffer> a, b;
    if (FAILED(Common::FileSysHelper::ReadFileBlockIntoBuffer(first, 0, firstSize, a)) ||
        FAILED(Common::FileSysHelper::ReadFileBlockIntoBuffer(second, 0, secondSize, b)) || !a || !b ||
        a->GetBufferSize() != b->GetBufferSize())
        return false;
    return a->GetBufferSize() == 0 ||
           std::memcmp(a->GetBufferPointer(), b->GetBufferPointer(), a->GetBufferSize()) == 0;
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

    // Installing a release that is complete again: it keeps its "S_OK" until the plan shows that
    // something of it changes (see GiveUpCompletion), so that a stop before then leaves it complete;
    // its manifest is fetched aside meanwhile. It is never its own holder or patch source.
    std::string releasePath, okPath;
    m_hr = Common::LocalDirectoryStructure::GetProjectReleasePath(project, m_ReleaseVersion, releasePath);
    if (SUCCEEDED(m_hr)) m_hr = Common::LocalDirectoryStructure::GetProjectReleaseOkPath(project, m_ReleaseVersion, okPath);
    if (FAILED(m_hr)) return;
    const bool wasComplete = Common::LocalFileSystem::DoesFileOrDirectoryExist(okPath);
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
    // A complete folder's stale files went before its "S_OK" was written: a record left beside it
    // (a stop between the two) names none. A folder without "S_OK" may have come from another
    // release, whose manifest is kept as its record before this release's is fetched over it.
    if (wasComplete)
        PreviousManifest::ForgetOnceComplete(project, m_ReleaseVersion);
    else
        m_hr = PreviousManifest::KeepForeign(project, m_ReleaseVersion, releasePath, progress.GetCancelFlag());
    if (FAILED(m_hr)) return;
    std::unique_ptr<Common::AutoTemporaryFile> aside;
    if (wasComplete) {
        aside = std::make_unique<Common::AutoTemporaryFile>(fileSystem, m_hr);
        if (FAILED(m_hr)) {
            QUOR_LOG(Log::ERROR, "Failure to download m_ReleaseManifest.");
            return;
        }
    }
    const std::string& fetchedManifest = aside ? aside->GetPath() : localManifest;
    Common::TransferBound bound(static_cast<int64_t>(Common::kMaxReleaseManifestBytes));
    m_hr = server.GetFile(server.GetDownloadPath() + "/projects/" + relative, fetchedManifest, &bound, false);
    if (FAILED(m_hr)) {
        QUOR_LOG(Log::ERROR, "Failure to download m_ReleaseManifest.");
        return;
    }
    if (CancelRequested(progress)) {
        m_hr = E_ABORT;
        return;
    }
    QUOR_LOG(Log::DEBUG, "Loading release manifest.");
    m_hr = m_ReleaseManifest.Load(fetchedManifest, progress.GetCancelFlag());
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
    if (FAILED(m_hr)) {
        QUOR_LOG(Log::ERROR, "Calculate work step failed");
        return;
    }
    if (aside) m_hr = GiveUpCompletion(*aside, localManifest, okPath);
}

bool Discover::ChangesTheRelease(const std::string& fetchedManifest, const std::string& localManifest) const {
    if (!m_FilesToDownload.empty() || !m_FilesToPatch.empty() || !m_FilesToCopy.empty() ||
        !m_FilesToArchive.empty() || !m_FilesToDeleteFromArchive.empty() || !m_DisplacedReleases.empty())
        return true;
    return !HaveSameBytes(fetchedManifest, localManifest);
}

HRESULT Discover::GiveUpCompletion(Common::AutoTemporaryFile& fetchedManifest, const std::string& localManifest,
                                   const std::string& okPath) const {
    QUOR_LOG(Log::DEBUG, "%s", "");
    if (!ChangesTheRelease(fetchedManifest.GetPath(), localManifest)) {
        QUOR_LOG(Log::VERBOSE, "Release %s is complete and stays as it is.", m_ReleaseVersionString.c_str());
        return S_OK;
    }
    HRESULT hr = Common::LocalFileSystem::DeleteFile(okPath);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to delete \"%s\" of the release being installed again.", okPath.c_str());
        return hr;
    }
    hr = Common::LocalFileSystem::MoveFile(fetchedManifest.GetPath(), localManifest, 3);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to move the fetched manifest to \"%s\".", localManifest.c_str());
        return hr;
    }
    fetchedManifest.SetKeep();
    return S_OK;
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
    m_hr = UpdateAndInstallShared::RemoveStaleDeployFiles(project, discover.m_ReleaseVersion,
                                                          discover.m_ReleaseManifest, fileSystem, progress);
    if (FAILED(m_hr)) {
        QUOR_LOG(Log::ERROR, "Failed to remove stale deploy files");
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
    PreviousManifest::ForgetOnceComplete(project, discover.m_ReleaseVersion);
    QUOR_LOG(Log::DEBUG, "Succeeded");
}

}  // namespace Quor::User::InstallProjectRelease
