#include "update/Validate.h"

#include <vector>

#include "common/Log.h"
#include "install/InstalledState.h"
#include "update/DoValidation.h"

namespace Quor::User {
namespace {

// What the two outer procedures do differently.
struct Kind {
    Validation::Tree tree;
    HRESULT (*ensure)(const std::string&, Common::LocalFileSystem&);
    HRESULT (*enumerate)(const std::string&, Common::LocalFileSystem&, std::vector<DWORD>&, bool);
    const char* ensureFailed;
    const char* kind;  // in "Verification found no installed releases for <kind>: <name>."
};

const Kind kProject{Validation::Tree::kProjects, &EnsureProjectInstalled, &EnumerateInstalledProjectReleases,
                    "Failed while ensuring project is installed",
                    "project"};
const Kind kSolution{Validation::Tree::kSolutions, &EnsureSolutionInstalled, &EnumerateInstalledSolutionReleases,
                     "Failed while ensuring solution is installed",
                     "solution"};

HRESULT Validate(const Kind& kind, const char* tag, const std::string& name, Common::LocalFileSystem& fileSystem,
                 IRemoteFileServer& server, AutoUpdateProgress& progress) {
    QUOR_LOG_TAG(Log::DEBUG, tag, "(%s)", name.c_str());
    HRESULT hr = kind.ensure(name, fileSystem);
    if (FAILED(hr)) {
        QUOR_LOG_TAG(Log::ERROR, tag, "%s", kind.ensureFailed);
        return hr;
    }
    std::vector<DWORD> releases;
    hr = kind.enumerate(name, fileSystem, releases, false);
    if (FAILED(hr)) {
        QUOR_LOG_TAG(Log::ERROR, tag, "Failed to enumerate installed releases.");
        return hr;
    }
    QUOR_LOG_TAG(Log::USER, tag, "Found %d installed releases to verify", static_cast<int>(releases.size()));
    if (releases.empty()) {
        QUOR_LOG_TAG(Log::DEBUG, tag, "Verification found no installed releases for %s: %s.", kind.kind, name.c_str());
        return S_OK;
    }
    hr = Validation::DoValidation(kind.tree, name, fileSystem, server, progress);
    if (FAILED(hr))
        QUOR_LOG_TAG(Log::ERROR, tag, "DoValidation failed");
    else
        QUOR_LOG_TAG(Log::VERBOSE, tag, "Succeeded");
    return hr;
}

}  // namespace

HRESULT ValidateProject(const std::string& project, Common::LocalFileSystem& fileSystem, IRemoteFileServer& server,
                        AutoUpdateProgress& progress) {
    return Validate(kProject, __PRETTY_FUNCTION__, project, fileSystem, server, progress);
}

HRESULT ValidateSolution(const std::string& solution, Common::LocalFileSystem& fileSystem, IRemoteFileServer& server,
                         AutoUpdateProgress& progress) {
    return Validate(kSolution, __PRETTY_FUNCTION__, solution, fileSystem, server, progress);
}

}  // namespace Quor::User
