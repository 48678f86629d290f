#include "install/InstalledSolutionInfo.h"

#include <algorithm>

#include "common/ConvertVersion.h"
#include "common/LocalDirectoryStructure.h"
#include "common/Log.h"
#include "common/SolutionManifestHelper.h"
#include "foundation/CStd/CStdStrings.h"
#include "install/InstalledState.h"
#include "remote/ReleaseManifestPaths.h"

namespace Quor::User {
namespace {

using PROJECT = Common::SolutionManifest::PROJECT;

bool IsRelease(const InstalledSolutionInfo* info, const std::string& solution, DWORD version) {
    return info && info->m_SolutionManifest && info->m_SolutionManifest->m_Version == version &&
           Vorn::std_stricmp(info->m_SolutionManifest->m_Name.c_str(), solution.c_str()) == 0;
}

}  // namespace

bool InstalledSolutionInfo::ContainsProjectRelease(const PROJECT& project) const {
    const auto found = std::lower_bound(m_Projects.begin(), m_Projects.end(), project, PROJECT::PredicateByName);
    return found != m_Projects.end() && !PROJECT::PredicateByName(project, *found) && found->version == project.version;
}

HRESULT LoadInstalledSolutionInfo(const std::string& solution, const DWORD version,
                                  std::unique_ptr<InstalledSolutionInfo>& info) {
    std::string folder;
    HRESULT hr = Common::LocalDirectoryStructure::GetSolutionReleasePath(solution, version, folder);
    if (FAILED(hr)) return hr;

    auto record = std::make_unique<InstalledSolutionInfo>();
    record->m_SolutionManifest = std::make_unique<Common::SolutionManifest>();
    const std::string solutionPath = folder + "/solutionmanifest";
    hr = record->m_SolutionManifest->Load(solutionPath);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failure to load manifest \"%s\".", solutionPath.c_str());
        return hr;
    }
    record->m_ConfigurationManifest = std::make_unique<Common::ConfigurationManifest>();
    const std::string configurationPath = folder + "/configurationmanifest";
    hr = record->m_ConfigurationManifest->Load(configurationPath);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failure to load manifest \"%s\".", configurationPath.c_str());
        return hr;
    }
    hr = Common::SolutionManifestHelper::GatherProjects(*record->m_ConfigurationManifest, *record->m_SolutionManifest,
                                                        record->m_Projects);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to gather projects");
        return hr;
    }
    info = std::move(record);
    return S_OK;
}

HRESULT LoadInstalledSolutionInfo(const std::string& solution, Common::LocalFileSystem& fileSystem,
                                  InstalledSolutionInfoList& infos) {
    QUOR_LOG(Log::DEBUG, "(%s)", solution.c_str());
    std::vector<DWORD> releases;
    HRESULT hr = EnumerateInstalledSolutionReleases(solution, fileSystem, releases, false);
    if (FAILED(hr)) QUOR_LOG(Log::ERROR, "Failed to enumerate the installed releases.");
    for (size_t i = 0; SUCCEEDED(hr) && i < releases.size(); ++i) {
        std::unique_ptr<InstalledSolutionInfo> info;
        hr = LoadInstalledSolutionInfo(solution, releases[i], info);
        if (FAILED(hr)) {
            QUOR_LOG(Log::ERROR, "Failed to load solution information for %s version %d", solution.c_str(),
                     static_cast<int>(releases[i]));
            break;
        }
        infos.push_back(std::move(info));
    }
    if (FAILED(hr)) infos.clear();
    return hr;
}

void RemoveInstalledSolutionInfo(const std::string& solution, DWORD version, InstalledSolutionInfoList& infos,
                                 std::unique_ptr<InstalledSolutionInfo>& info) {
    const auto found = std::find_if(infos.begin(), infos.end(), [&](const auto& record) {
        return IsRelease(record.get(), solution, version);
    });
    if (found == infos.end()) return;
    info = std::move(*found);
    infos.erase(found);
}

InstalledSolutionInfo* FindInstalledSolutionInfo(const std::string& solution, DWORD version,
                                                 const InstalledSolutionInfoList& infos) {
    for (const auto& record : infos)
        if (IsRelease(record.get(), solution, version)) return record.get();
    return nullptr;
}

bool IsProjectReleaseUsedBySolutions(const PROJECT& project, const InstalledSolutionInfoList& infos) {
    return std::any_of(infos.begin(), infos.end(),
                       [&](const auto& record) { return record && record->ContainsProjectRelease(project); });
}

bool LoadOtherSolutions(const std::string& solution, Common::LocalFileSystem& fileSystem,
                        InstalledSolutionInfoList& infos) {
    QUOR_LOG(Log::DEBUG, "(%s)", solution.c_str());
    std::vector<std::string> solutions;
    if (FAILED(EnumerateInstalledSolutions(fileSystem, solutions))) {
        QUOR_LOG(Log::ERROR, "Failed to enumerate the installed solutions: every project release is kept.");
        return false;
    }
    for (const std::string& other : solutions) {
        if (other == solution) continue;
        InstalledSolutionInfoList records;
        if (FAILED(LoadInstalledSolutionInfo(other, fileSystem, records))) {
            QUOR_LOG(Log::ERROR, "Failed to read the installed releases of solution %s: every project release is kept.",
                     other.c_str());
            return false;
        }
        for (auto& record : records) infos.push_back(std::move(record));
    }
    return true;
}

bool IsProjectReleaseNeededBySolutions(const PROJECT& project, Common::LocalFileSystem& fileSystem) {
    QUOR_LOG(Log::DEBUG, "(%s, %d)", project.name.c_str(), static_cast<int>(project.version));
    InstalledSolutionInfoList infos;
    if (!LoadOtherSolutions("", fileSystem, infos)) return true;
    return IsProjectReleaseUsedBySolutions(project, infos);
}

std::shared_ptr<InstalledSolutionInfo> InstalledSolutionInfoCache::Get(const std::string& solution,
                                                                       const DWORD version) {
    const auto key = std::make_pair(solution, version);
    if (const auto found = m_Entries.find(key); found != m_Entries.end()) return found->second;
    std::unique_ptr<InstalledSolutionInfo> info;
    if (FAILED(LoadInstalledSolutionInfo(solution, version, info)))
        QUOR_LOG(Log::ERROR, "Failed to load solution information");
    std::shared_ptr<InstalledSolutionInfo> entry(std::move(info));
    m_Entries.emplace(key, entry);
    return entry;
}

const Common::ReleaseManifest::ENTRY* FindFileInSolutionProjects(const std::string& path, DWORD version,
                                                                 DWORD requiredFlags, DWORD forbiddenFlags,
                                                                 const InstalledSolutionInfo& info,
                                                                 Common::ReleaseManifestCache& cache) {
    for (const PROJECT& project : info.m_Projects) {
        const Common::ReleaseManifest* manifest = nullptr;
        if (FAILED(cache.Get(project.name, project.version, manifest))) return nullptr;
        if (const auto* entry =
                Common::FindReleaseManifestEntryInFolder(path, version, requiredFlags, forbiddenFlags, manifest))
            return entry;
    }
    return nullptr;
}

bool AreSolutionProjectManifestsLoadable(const InstalledSolutionInfo& info, Common::ReleaseManifestCache& cache) {
    return std::all_of(info.m_Projects.begin(), info.m_Projects.end(), [&](const PROJECT& project) {
        const Common::ReleaseManifest* manifest = nullptr;
        return SUCCEEDED(cache.Get(project.name, project.version, manifest));
    });
}

}  // namespace Quor::User
