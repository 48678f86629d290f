#include "install/UpdateAndInstallSolutionShared.h"

#include <algorithm>
#include <set>

#include "common/ConfigurationManifest.h"
#include "common/ConvertVersion.h"
#include "common/FileSysHelper.h"
#include "common/LocalDirectoryStructure.h"
#include "common/Log.h"
#include "common/ReleaseManifest.h"
#include "common/ReleaseVersion.h"
#include "foundation/CStd/CStdStrings.h"
#include "install/AvailableReleases.h"
#include "install/ListedReleaseChoice.h"

namespace Quor::User::UpdateAndInstallSolutionShared {
namespace {

using PROJECT = Common::SolutionManifest::PROJECT;
using Common::ReleaseManifest;

constexpr DWORD kNotPlain = ReleaseManifest::FLAG_MANAGED | ReleaseManifest::FLAG_ARCHIVED;

}  // namespace

bool UNMANAGED_FILE::PredicateByName(const UNMANAGED_FILE& a, const UNMANAGED_FILE& b) {
    return Vorn::std_stricmp(a.name.c_str(), b.name.c_str()) < 0;
}

HRESULT GatherFiles(std::vector<PROJECT>& projects, Common::ReleaseManifestCache& cache,
                    std::vector<UNMANAGED_FILE>& files, AutoUpdateProgress&) {
    // Equal priorities keep the configuration's order, so the same tree always gives the same files.
    std::stable_sort(projects.begin(), projects.end(), PROJECT::PredicateByPriority);
    for (size_t i = 0; i < projects.size(); ++i) {
        const PROJECT& project = projects[i];
        const ReleaseManifest* manifest = nullptr;
        const HRESULT hr = cache.Get(project.name, project.version, manifest);
        if (FAILED(hr)) {
            // Leaving the project out would give a deploy folder that lacks its files and still
            // counts as complete.
            QUOR_LOG(Log::ERROR, "Failed to get the releas manifest for project");
            return hr;
        }
        const std::string version = Common::ConvertVersion::ToString(project.version);
        for (const ReleaseManifest::ENTRY& entry : manifest->m_Entries) {
            if (entry.flags & kNotPlain) continue;
            const UNMANAGED_FILE file{entry.name, static_cast<DWORD>(i)};
            const auto place = std::lower_bound(files.begin(), files.end(), file, UNMANAGED_FILE::PredicateByName);
            if (place != files.end() && !UNMANAGED_FILE::PredicateByName(file, *place)) {
                QUOR_LOG(Log::VERBOSE, "Skipping \"%s\" from \"%s\" version %s because overridden", entry.name.c_str(),
                         project.name.c_str(), version.c_str());
                continue;
            }
            QUOR_LOG(Log::VERBOSE, "Will copy unmanaged file \"%s\" from \"%s\" version %s", entry.name.c_str(),
                     project.name.c_str(), version.c_str());
            files.insert(place, file);
        }
    }
    return S_OK;
}

HRESULT DeleteUnmanagedFiles(const std::vector<UNMANAGED_FILE>& files, const std::string& solution,
                             const DWORD version, Common::LocalFileSystem&, AutoUpdateProgress&) {
    if (files.empty()) return S_OK;
    std::string deploy;
    HRESULT hr = Common::LocalDirectoryStructure::GetSolutionDeployPath(solution, version, deploy);
    for (size_t i = 0; SUCCEEDED(hr) && i < files.size(); ++i) {
        const std::string path = deploy + "/" + files[i].name;
        hr = Common::LocalFileSystem::DeleteFile(path);
        if (FAILED(hr)) QUOR_LOG(Log::ERROR, "Failed to delete unussed unmanaged file \"%s\"", path.c_str());
    }
    return hr;
}

HRESULT CopyUnmanagedFiles(const std::vector<UNMANAGED_FILE>& files, const std::vector<PROJECT>& projects,
                           const std::string& solution, const DWORD version, Common::LocalFileSystem&,
                           AutoUpdateProgress&) {
    if (files.empty()) return S_OK;
    std::string deploy;
    HRESULT hr = Common::LocalDirectoryStructure::GetSolutionDeployPath(solution, version, deploy);
    // Folders are compared byte for byte: on a case-sensitive volume "Data/" and "data/" are two.
    std::set<std::string> prepared;
    for (size_t i = 0; SUCCEEDED(hr) && i < files.size(); ++i) {
        const UNMANAGED_FILE& file = files[i];
        if (file.projectIndex >= projects.size()) {
            QUOR_LOG(Log::ERROR, "File \"%s\" names no project of the solution.", file.name.c_str());
            return E_INVALIDARG;
        }
        const PROJECT& project = projects[file.projectIndex];
        std::string projectDeploy;
        hr = Common::LocalDirectoryStructure::GetProjectDeployPath(project.name, project.version, projectDeploy);
        if (FAILED(hr)) break;
        const std::string source = projectDeploy + "/" + file.name;
        const std::string destination = deploy + "/" + file.name;
        const std::string folder = destination.substr(0, destination.rfind('/'));
        if (!prepared.count(folder)) {
            hr = Common::FileSysHelper::CreateDirectoryAndIntermediatePaths(folder.c_str());
            if (FAILED(hr)) {
                QUOR_LOG(Log::ERROR, "Failed to prepare path \"%s\".", folder.c_str());
                break;
            }
            prepared.insert(folder);
        }
        hr = Common::LocalFileSystem::CopyFile(source, destination, false);
        if (FAILED(hr)) {
            QUOR_LOG(Log::DEBUG, "Failed to copy \"%s\", checking it is not read-only", source.c_str());
            Common::LocalFileSystem::RemoveReadOnly(destination);
            hr = Common::LocalFileSystem::CopyFile(source, destination, false);
        }
        if (FAILED(hr)) {
            QUOR_LOG(Log::ERROR, "Failed to copy unmanaged file \"%s\" to solution deploy folder", source.c_str());
            std::string okPath;
            if (SUCCEEDED(Common::LocalDirectoryStructure::GetProjectReleaseOkPath(project.name, project.version, okPath)))
                Common::LocalFileSystem::DeleteFile(okPath);
        }
    }
    return hr;
}

HRESULT CopyDeployFolder(std::vector<PROJECT>& projects, const std::string& solution, const DWORD version,
                         Common::LocalFileSystem& fileSystem, AutoUpdateProgress& progress) {
    Common::ReleaseManifestCache cache;
    std::vector<UNMANAGED_FILE> files;
    HRESULT hr = GatherFiles(projects, cache, files, progress);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to gather files");
        return hr;
    }
    hr = CopyUnmanagedFiles(files, projects, solution, version, fileSystem, progress);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to copy unmanaged files");
        return hr;
    }
    QUOR_LOG(Log::VERBOSE, "Succeeded");
    return S_OK;
}

HRESULT IsSolutionReleaseAvailable(const std::string& solution, const DWORD version, IRemoteFileServer&,
                                   bool& available) {
    QUOR_LOG(Log::VERBOSE, "%s", "");
    QUOR_LOG(Log::VERBOSE, "%s, %d", solution.c_str(), static_cast<int>(version));
    available = true;
    return S_OK;
}

HRESULT ChooseSolutionVersion(const std::string& solution, const DWORD version, IRemoteFileServer& server,
                              DWORD& chosen, AutoUpdateProgress&) {
    QUOR_LOG(Log::VERBOSE, "%s", "");
    QUOR_LOG(Log::VERBOSE, "%s, %d", solution.c_str(), static_cast<int>(version));
    std::vector<DWORD> releases;
    const HRESULT hr =
        EnumerateAvailableSolutionReleases(solution, server, releases, version == INVALID_RELEASE_VERSION ? 1 : 0);
    return ChooseListedRelease(__PRETTY_FUNCTION__, "Solution", hr, releases, version, chosen);
}

HRESULT WriteConfigurationFile(const std::string& solution, const DWORD version, const std::string& configuration,
                               const std::vector<PROJECT>& projects) {
    QUOR_LOG(Log::DEBUG, "%s", "");
    Common::ConfigurationManifest manifest;
    for (const PROJECT& project : projects) {
        const HRESULT hr = manifest.AddProject(project.name);
        if (FAILED(hr)) {
            QUOR_LOG(Log::ERROR, "Failed to add project");
            return hr;
        }
    }
    manifest.m_Name = configuration;
    std::string folder;
    HRESULT hr = Common::LocalDirectoryStructure::GetSolutionReleasePath(solution, version, folder);
    if (FAILED(hr)) return hr;
    hr = manifest.Save(folder + "/configurationmanifest");
    if (FAILED(hr)) QUOR_LOG(Log::ERROR, "Failed to save configuration manifest");
    return hr;
}

}  // namespace Quor::User::UpdateAndInstallSolutionShared
