#include "update/UpdateSolution.h"

#include <algorithm>

#include "common/ConfigurationManifest.h"
#include "common/LocalDirectoryStructure.h"
#include "common/Log.h"
#include "foundation/CStd/CStdStrings.h"
#include "install/InstalledState.h"
#include "install/UpdateAndInstallSolutionShared.h"
#include "remote/LocalFileSystemHelper.h"
#include "remote/TelvoLogger.h"
#include "update/PatchStatistics.h"

namespace Quor::User::UpdateSolution {

Discover::Discover(const InputParameters& inputParameters) : m_InputParameters(&inputParameters) {
    QUOR_LOG(Log::DEBUG, "%s", "");
    m_hr = ChooseRoad();
    if (SUCCEEDED(m_hr)) ReportStatistics();
}

Discover::~Discover() {
    m_UpdateInPlaceDiscover.reset();
    m_UpdateInPlaceInputParameters.reset();
    m_InstallDiscover.reset();
    m_InstallInputParameters.reset();
}

HRESULT Discover::ChooseRoad() {
    const InputParameters& input = *m_InputParameters;
    const std::string& solution = input.m_SolutionName;
    Common::LocalFileSystem& fileSystem = input.m_LocalFileSystem;

    HRESULT hr = UpdateAndInstallSolutionShared::ChooseSolutionVersion(
        solution, input.m_ReleaseVersion, input.m_RemoteFileServer, m_TargetVersion, input.m_AutoUpdateProgress);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to choose a target version");
        return hr;
    }
    hr = EnsureSolutionInstalled(solution, fileSystem);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed while ensuring solution is installed");
        return hr;
    }
    std::vector<DWORD> complete, all;
    hr = EnumerateInstalledSolutionReleases(solution, fileSystem, complete, false);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to enumerate installed releases.");
        return hr;
    }
    hr = EnumerateInstalledSolutionReleases(solution, fileSystem, all, true);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to enumerate partially installed releases.");
        return hr;
    }

    if (std::binary_search(complete.begin(), complete.end(), m_TargetVersion)) {
        std::string path;
        hr = Common::LocalDirectoryStructure::GetSolutionReleasePath(solution, m_TargetVersion, path);
        if (FAILED(hr)) return hr;
        path += "/configurationmanifest";
        Common::ConfigurationManifest installed;
        hr = installed.Load(path);
        if (FAILED(hr)) {
            QUOR_LOG(Log::ERROR, "Failure to load manifest \"%s\".", path.c_str());
            return hr;
        }
        if (Vorn::std_stricmp(installed.m_Name.c_str(), input.m_ConfigurationName.c_str()) == 0) {
            QUOR_LOG(Log::VERBOSE, "Target version %d with configuration %s is already installed",
                     static_cast<int>(m_TargetVersion), input.m_ConfigurationName.c_str());
            return S_OK;
        }
        QUOR_LOG(Log::VERBOSE, "Target version %d is installed, but configuration is %s and desired configuration is %s",
                 static_cast<int>(m_TargetVersion), installed.m_Name.c_str(), input.m_ConfigurationName.c_str());
        return ReinstallInOtherConfiguration();
    }

    const size_t below = std::lower_bound(complete.begin(), complete.end(), m_TargetVersion) - complete.begin();
    const bool targetHasFolder = std::binary_search(all.begin(), all.end(), m_TargetVersion);
    if (below > 0 && !targetHasFolder) {
        const DWORD source = complete[below - 1];
        QUOR_LOG(Log::DEBUG, "Update in place will be used with '%u' as source version", source);
        m_UpdateInPlaceInputParameters.reset(new UpdateInPlace::InputParameters{
            solution, source, m_TargetVersion, input.m_ConfigurationName, fileSystem, input.m_RemoteFileServer,
            input.m_AutoUpdateProgress});
        m_UpdateInPlaceDiscover = std::make_unique<UpdateInPlace::Discover>(*m_UpdateInPlaceInputParameters);
        hr = m_UpdateInPlaceDiscover->m_hr;
        if (FAILED(hr)) QUOR_LOG(Log::ERROR, "UpdateInPlace discovery failed");
        return hr;
    }
    QUOR_LOG(Log::DEBUG, "Update in place will NOT be used.  Separate installation will be created and old deleted.");
    if (!targetHasFolder) {
        hr = PrepareSeparateInstallation(all);
        if (FAILED(hr)) return hr;
    }
    m_InstallInputParameters.reset(new InstallSolutionRelease::InputParameters{
        solution, m_TargetVersion, input.m_ConfigurationName, fileSystem, input.m_RemoteFileServer,
        input.m_AutoUpdateProgress});
    m_InstallDiscover = std::make_unique<InstallSolutionRelease::Discover>(*m_InstallInputParameters);
    hr = m_InstallDiscover->m_hr;
    if (FAILED(hr)) QUOR_LOG(Log::ERROR, "InstallSolutionRelease discovery failed");
    return hr;
}

// The target is complete in another configuration: installed again in the wanted one, here.
HRESULT Discover::ReinstallInOtherConfiguration() {
    const InputParameters& input = *m_InputParameters;
    const InstallSolutionRelease::InputParameters install{input.m_SolutionName,     m_TargetVersion,
                                                          input.m_ConfigurationName, input.m_LocalFileSystem,
                                                          input.m_RemoteFileServer,  input.m_AutoUpdateProgress};
    const InstallSolutionRelease::Discover discover(install);
    const InstallSolutionRelease::Execute execute(discover);
    if (FAILED(execute.m_hr)) QUOR_LOG(Log::ERROR, "Failed to install latest version.");
    return execute.m_hr;
}

// A target without a folder: a first installation, seeded with the files of the highest existing
// release folder. That folder stops counting as complete before it takes the target's name (it
// may hold a newer release, or the target's configuration in another release's files).
HRESULT Discover::PrepareSeparateInstallation(const std::vector<DWORD>& all) {
    m_NewUser = true;
    if (all.empty()) return S_OK;
    const std::string& solution = m_InputParameters->m_SolutionName;
    std::string from, to, okPath;
    HRESULT hr = Common::LocalDirectoryStructure::GetSolutionReleasePath(solution, all.back(), from);
    if (SUCCEEDED(hr)) hr = Common::LocalDirectoryStructure::GetSolutionReleasePath(solution, m_TargetVersion, to);
    if (SUCCEEDED(hr)) hr = Common::LocalDirectoryStructure::GetSolutionReleaseOkPath(solution, all.back(), okPath);
    if (FAILED(hr)) return hr;
    if (Common::LocalFileSystem::DoesFileOrDirectoryExist(okPath)) {
        hr = Common::LocalFileSystem::DeleteFile(okPath);
        if (FAILED(hr)) {
            QUOR_LOG(Log::ERROR, "Failed to delete \"%s\" of the release folder to rename.", okPath.c_str());
            return hr;
        }
    }
    if (FAILED(Common::LocalFileSystem::MoveFile(from, to, 0))) {
        QUOR_LOG(Log::VERBOSE, "Rename failed, trying copy");
        Common::LocalFileSystemHelper::CopyDirectoryTree(from, to, m_InputParameters->m_LocalFileSystem, false);
    }
    return S_OK;
}

void Discover::ReportStatistics() const {
    AutoUpdateProgress& progress = m_InputParameters->m_AutoUpdateProgress;
    const char* name = m_InputParameters->m_SolutionName.c_str();
    if (!m_UpdateInPlaceDiscover && !m_InstallDiscover) {
        PatchStatistics::ReportSize(progress, name, m_NewUser);
    } else {
        std::vector<FileToDownload> downloads;
        std::vector<FileToPatch> patches;
        const auto add = [&](const std::vector<FileToDownload>& d, const std::vector<FileToPatch>& p) {
            downloads.insert(downloads.end(), d.begin(), d.end());
            patches.insert(patches.end(), p.begin(), p.end());
        };
        if (m_UpdateInPlaceDiscover) {
            for (const auto& project : m_UpdateInPlaceDiscover->m_InstallDiscovers)
                add(project->m_FilesToDownload, project->m_FilesToPatch);
            for (const auto& project : m_UpdateInPlaceDiscover->m_UpdateDiscovers) {
                if (project->m_InstallDiscover)
                    add(project->m_InstallDiscover->m_FilesToDownload, project->m_InstallDiscover->m_FilesToPatch);
                if (project->m_UpdateInPlace)
                    add(project->m_UpdateInPlace->m_FilesToDownload, project->m_UpdateInPlace->m_FilesToPatch);
            }
        } else {
            for (const auto& project : m_InstallDiscover->m_ProjectDiscovers)
                add(project->m_FilesToDownload, project->m_FilesToPatch);
        }
        PatchStatistics::ReportTopFiles(downloads, patches, progress, name, m_NewUser);
    }
    TelvoLogger::GetInstance()->SendDataToServer();
}

Execute::Execute(const Discover& discover, DWORD* const version) : m_Discover(&discover) {
    QUOR_LOG(Log::DEBUG, "%s", "");
    if (version) *version = discover.m_TargetVersion;
    m_hr = discover.m_hr;
    if (FAILED(m_hr)) {
        QUOR_LOG(Log::ERROR, "Discover failed");
        return;
    }
    if (discover.m_UpdateInPlaceDiscover) {
        m_hr = UpdateInPlace::Execute(*discover.m_UpdateInPlaceDiscover).m_hr;
        if (FAILED(m_hr)) {
            QUOR_LOG(Log::ERROR, "UpdateInPlace Execute failed");
            return;
        }
    } else if (discover.m_InstallDiscover) {
        m_hr = InstallSolutionRelease::Execute(*discover.m_InstallDiscover).m_hr;
        if (FAILED(m_hr)) {
            QUOR_LOG(Log::ERROR, "InstallSolutionRelease Execute failed");
            return;
        }
    } else {
        QUOR_LOG(Log::DEBUG, "No work required");
    }
    const InputParameters& input = *discover.m_InputParameters;
    PatchStatistics::ReportTimeAndSpeed(input.m_AutoUpdateProgress, input.m_SolutionName.c_str(), discover.m_NewUser);
}

}  // namespace Quor::User::UpdateSolution
