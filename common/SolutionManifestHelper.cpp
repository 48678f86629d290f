#include "common/SolutionManifestHelper.h"

#include <algorithm>

#include "common/Log.h"

namespace Quor::Common::SolutionManifestHelper {

HRESULT GatherProjects(const std::vector<std::string>& names, const SolutionManifest& solution,
                       std::vector<SolutionManifest::PROJECT>& projects) {
    static const char* const TAG =
        "HRESULT Quor::Common::SolutionManifestHelper::GatherProjects("
        "const std::vector<std::string> &, const Quor::Common::SolutionManifest &, "
        "std::vector<SolutionManifest::PROJECT> &)";
    using PROJECT = SolutionManifest::PROJECT;
    for (const std::string& name : names) {
        PROJECT key;
        key.name = name;
        auto found = std::lower_bound(solution.m_Projects.begin(), solution.m_Projects.end(), key,
                                      PROJECT::PredicateByName);
        if (found == solution.m_Projects.end() || PROJECT::PredicateByName(key, *found)) {
            QUOR_LOG_TAG(Log::ERROR, TAG, "Failed to find project %s", name.c_str());
            return E_FAIL;
        }
        projects.insert(std::lower_bound(projects.begin(), projects.end(), *found, PROJECT::PredicateByName),
                        *found);
    }
    return S_OK;
}

HRESULT GatherProjects(const std::string& configuration, const SolutionManifest& solution,
                       std::vector<SolutionManifest::PROJECT>& projects) {
    static const char* const TAG =
        "HRESULT Quor::Common::SolutionManifestHelper::GatherProjects("
        "const std::string &, const Quor::Common::SolutionManifest &, std::vector<SolutionManifest::PROJECT> "
        "&)";
    using CONFIGURATION = SolutionManifest::CONFIGURATION;
    CONFIGURATION key;
    key.name = configuration;
    auto found = std::lower_bound(solution.m_Configurations.begin(), solution.m_Configurations.end(), key,
                                  CONFIGURATION::PredicateByName);
    if (found == solution.m_Configurations.end() || CONFIGURATION::PredicateByName(key, *found)) {
        QUOR_LOG_TAG(Log::ERROR, TAG, "Failed to find configuration");
        return E_FAIL;
    }
    const HRESULT hr = GatherProjects(found->projects, solution, projects);
    if (FAILED(hr))
        QUOR_LOG_TAG(Log::ERROR, TAG, "Failed to gather projects for configuration %s",
                     configuration.c_str());
    return hr;
}

HRESULT GatherProjects(const ConfigurationManifest& configuration, const SolutionManifest& solution,
                       std::vector<SolutionManifest::PROJECT>& projects) {
    static const char* const TAG =
        "HRESULT Quor::Common::SolutionManifestHelper::GatherProjects("
        "const Quor::Common::ConfigurationManifest &, const Quor::Common::SolutionManifest &, "
        "std::vector<SolutionManifest::PROJECT> &)";
    const HRESULT hr = GatherProjects(configuration.m_Projects, solution, projects);
    if (FAILED(hr)) QUOR_LOG_TAG(Log::ERROR, TAG, "Failed to gather projects for user supplied project list");
    return hr;
}

}  // namespace Quor::Common::SolutionManifestHelper
