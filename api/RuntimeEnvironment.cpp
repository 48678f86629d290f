#include "api/RuntimeEnvironment.h"

#include <algorithm>

#include "common/ConfigurationManifest.h"
#include "common/ConvertVersion.h"
#include "common/EntryPlacement.h"
#include "common/LocalRootFolder.h"
#include "common/Log.h"
#include "common/SolutionManifest.h"
#include "common/SolutionManifestHelper.h"
#include "common/StringHelper.h"
#include "foundation/CStd/CStdPaths.h"

namespace Quor::API::Impl {

using Quor::Common::ConvertVersion;
using Quor::Common::ReleaseManifest;
using Quor::Log::DEBUG;
using Quor::Log::ERROR;
using Quor::Log::VERBOSE;
using Quor::Log::WARNING;

namespace {

std::string NormalisedKey(const std::string& path) {
    std::string key = Quor::Common::StringHelper::FixPathString(path);
    Quor::Common::StringHelper::ToLower(key);
    return key;
}

}  // namespace

RuntimeEnvironment::RuntimeEnvironment(HRESULT& hr, Quor::Common::ReleaseManifestCache& cache,
                                       bool loadingDisabled)
    : m_FileMap(100), m_Cache(cache) {
    QUOR_LOG(VERBOSE, "()");
    hr = S_OK;
    char buffer[1024] = {};
    std::string workingFolder;
    if (Vorn::std_getcwd(sizeof(buffer), buffer) != nullptr) workingFolder = buffer;
    std::replace(workingFolder.begin(), workingFolder.end(), '\\', '/');

    if (loadingDisabled) {
        QUOR_LOG(WARNING, "Quor File loading is disabled.");
    } else {
        hr = Determine(workingFolder);
    }
    GenerateFileMap();
}

HRESULT RuntimeEnvironment::Determine(const std::string& workingFolder) {
    size_t nameStart = std::string::npos;
    const size_t projects = workingFolder.rfind("projects/");
    if (projects != std::string::npos) {
        m_Kind = KIND_PROJECT;
        nameStart = projects + 9;
    } else {
        const size_t solutions = workingFolder.rfind("solutions/");
        if (solutions == std::string::npos) {
            QUOR_LOG(WARNING, "Did not find keywords \"projects\" or \"solutions\" in path");
            return E_FAIL;
        }
        m_Kind = KIND_SOLUTION;
        nameStart = solutions + 10;
    }
    if (nameStart >= workingFolder.size()) {
        QUOR_LOG(ERROR, "Incomplete path");
        return E_FAIL;
    }

    HRESULT hr = E_FAIL;
    std::string versionText;
    const size_t nameEnd = workingFolder.find('/', nameStart);
    if (nameEnd != std::string::npos) {
        m_Name = workingFolder.substr(nameStart, nameEnd - nameStart);
        const size_t releases = workingFolder.find("releases/", nameEnd);
        if (releases != std::string::npos) {
            const size_t versionStart = releases + 9;
            const size_t versionEnd = workingFolder.find('/', versionStart);
            versionText = workingFolder.substr(versionStart, versionEnd == std::string::npos
                                                                 ? std::string::npos
                                                                 : versionEnd - versionStart);
        }
        if (!m_Name.empty() && !versionText.empty()) hr = ConvertVersion::ToNumber(versionText, m_Version);
    }
    if (FAILED(hr)) {
        QUOR_LOG(ERROR, "Failed to determine name and version");
        return hr;
    }

    const std::string version = ConvertVersion::ToString(m_Version);
    const std::string root = Quor::Common::LocalRootFolder::Get();
    return m_Kind == KIND_PROJECT ? LoadProject(root, version) : LoadSolution(root, version);
}

HRESULT RuntimeEnvironment::LoadReleaseManifest(const std::string& path, const char* failureFormat) {
    auto manifest = std::make_unique<ReleaseManifest>();
    const HRESULT hr = manifest->Load(path, nullptr);
    if (FAILED(hr)) {
        QUOR_LOG(ERROR, failureFormat, path.c_str());
        return hr;
    }
    m_Manifests.push_back(std::move(manifest));
    return S_OK;
}

HRESULT RuntimeEnvironment::LoadProject(const std::string& root, const std::string& versionText) {
    const std::string release = root + "/projects/" + m_Name + "/releases/" + versionText;
    m_DeployFolder = release + "/deploy";
    return LoadReleaseManifest(release + "/releasemanifest", "Failure to load project manifest \"%s\".");
}

HRESULT RuntimeEnvironment::LoadSolution(const std::string& root, const std::string& versionText) {
    const std::string release = root + "/solutions/" + m_Name + "/releases/" + versionText;
    m_DeployFolder = release + "/deploy";

    Quor::Common::SolutionManifest solution;
    const std::string solutionPath = release + "/solutionmanifest";
    HRESULT hr = solution.Load(solutionPath);
    if (FAILED(hr)) {
        QUOR_LOG(ERROR, "Failure to load solution manifest \"%s\".", solutionPath.c_str());
        return hr;
    }
    Quor::Common::ConfigurationManifest configuration;
    const std::string configurationPath = release + "/configurationmanifest";
    hr = configuration.Load(configurationPath);
    if (FAILED(hr)) {
        QUOR_LOG(ERROR, "Failure to load configuration manifest \"%s\".", configurationPath.c_str());
        return hr;
    }
    std::vector<Quor::Common::SolutionManifest::PROJECT> projects;
    hr = Quor::Common::SolutionManifestHelper::GatherProjects(configuration, solution, projects);
    if (FAILED(hr)) {
        QUOR_LOG(ERROR, "Failed to gather projects");
        return hr;
    }
    std::stable_sort(projects.begin(), projects.end(), Quor::Common::SolutionManifest::PROJECT::PredicateByPriority);
    for (const auto& project : projects) {
        const std::string path = root + "/projects/" + project.name + "/releases/" +
                                 ConvertVersion::ToString(project.version) + "/releasemanifest";
        hr = LoadReleaseManifest(path, "Failure to load manifest \"%s\".");
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

void RuntimeEnvironment::GenerateFileMap() {
    QUOR_LOG(DEBUG, "start building file map");
    for (auto manifest = m_Manifests.rbegin(); manifest != m_Manifests.rend(); ++manifest) {
        for (const auto& entry : (*manifest)->m_Entries)
            m_FileMap[NormalisedKey(entry.name)] = ManifestData{manifest->get(), &entry};
    }
    QUOR_LOG(DEBUG, "done building file map");
}

const ManifestData* RuntimeEnvironment::GetManifestData(const std::string& path) const {
    const auto found = m_FileMap.find(NormalisedKey(path));
    return found == m_FileMap.end() ? nullptr : &found->second;
}

namespace Helper {

void FindBestPath(const RuntimeEnvironment& environment, const ReleaseManifest* manifest,
                  const ReleaseManifest::ENTRY* entry, std::string& path) {
    if (entry == nullptr || manifest == nullptr) return;
    const std::string version = ConvertVersion::ToString(entry->version);
    const Quor::Common::EntryPlace place = Quor::Common::PlaceOf(*entry);
    if (place == Quor::Common::EntryPlace::kManaged) {
        path = Quor::Common::LocalRootFolder::Get() + "/projects/" + manifest->m_ProjectName + "/managedfiles/" +
               version + "/" + entry->name;
    } else if (place == Quor::Common::EntryPlace::kArchived) {
        path = Quor::Common::LocalRootFolder::Get() + "/projects/" + manifest->m_ProjectName + "/filearchives/" +
               version + "/" + entry->name;
    } else {
        path = environment.GetDeployFolder() + "/" + entry->name;
    }
}

}  // namespace Helper

}  // namespace Quor::API::Impl
