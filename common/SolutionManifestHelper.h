#pragma once
// SolutionManifestHelper::GatherProjects: turns a list of project names, a configuration of a
// solution manifest, or a configuration manifest into the project records of the solution
// manifest. Records are inserted at their place by name (a sorted vector stays sorted); the vector
// is not emptied first. On failure the records gathered before it stay. Errors are HRESULTs,
// logged at ERROR. Stateless; the arguments must not change meanwhile.
#include <string>
#include <vector>

#include "common/ConfigurationManifest.h"
#include "common/SolutionManifest.h"

namespace Quor::Common::SolutionManifestHelper {

HRESULT GatherProjects(const std::vector<std::string>& names, const SolutionManifest& solution,
                       std::vector<SolutionManifest::PROJECT>& projects);
HRESULT GatherProjects(const std::string& configuration, const SolutionManifest& solution,
                       std::vector<SolutionManifest::PROJECT>& projects);
HRESULT GatherProjects(const ConfigurationManifest& configuration, const SolutionManifest& solution,
                       std::vector<SolutionManifest::PROJECT>& projects);

}  // namespace Quor::Common::SolutionManifestHelper
