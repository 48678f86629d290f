#include "install/SolutionWithdrawal.h"

#include <functional>
#include <memory>
#include <vector>

#include "common/ConvertVersion.h"
#include "common/LocalDirectoryStructure.h"
#include "common/Log.h"
#include "install/InstalledSolutionInfo.h"
#include "install/InstalledState.h"

namespace Quor::User {
namespace {

using PROJECT = Common::SolutionManifest::PROJECT;

// Calls visit(solution, version) for every complete solution release that lists the project
// release or cannot be read, until visit answers false. The enumeration's failure, else S_OK.
HRESULT ForEachUser(const PROJECT& project, Common::LocalFileSystem& fileSystem,
                    const std::function<bool(const std::string&, DWORD)>& visit) {
    std::vector<std::string> solutions;
    HRESULT hr = EnumerateInstalledSolutions(fileSystem, solutions);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to enumerate the installed solutions.");
        return hr;
    }
    for (const std::string& solution : solutions) {
        std::vector<DWORD> versions;
        hr = EnumerateInstalledSolutionReleases(solution, fileSystem, versions, false);
        if (FAILED(hr)) {
            QUOR_LOG(Log::ERROR, "Failed to enumerate the installed releases of solution %s.", solution.c_str());
            return hr;
        }
        for (const DWORD version : versions) {
            std::unique_ptr<InstalledSolutionInfo> info;
            const bool unreadable = FAILED(LoadInstalledSolutionInfo(solution, version, info));
            if ((unreadable || info->ContainsProjectRelease(project)) && !visit(solution, version)) return S_OK;
        }
    }
    return S_OK;
}

}  // namespace

bool FindSolutionUsingProjectRelease(const PROJECT& project, Common::LocalFileSystem& fileSystem,
                                     std::string& solution, DWORD& version, bool& readable) {
    QUOR_LOG(Log::DEBUG, "(%s, 0x%08lx)", project.name.c_str(), static_cast<unsigned long>(project.version));
    bool found = false;
    readable = SUCCEEDED(ForEachUser(project, fileSystem, [&](const std::string& user, DWORD userVersion) {
        solution = user;
        version = userVersion;
        found = true;
        return false;
    }));
    return found;
}

HRESULT WithdrawSolutionsUsing(const PROJECT& project, Common::LocalFileSystem& fileSystem) {
    QUOR_LOG(Log::DEBUG, "(%s, 0x%08lx)", project.name.c_str(), static_cast<unsigned long>(project.version));
    HRESULT failure = S_OK;
    const HRESULT hr = ForEachUser(project, fileSystem, [&](const std::string& solution, DWORD version) {
        std::string okPath;
        failure = Common::LocalDirectoryStructure::GetSolutionReleaseOkPath(solution, version, okPath);
        if (SUCCEEDED(failure)) {
            QUOR_LOG(Log::VERBOSE, "Deleting %s: project %s %s is no longer complete", okPath.c_str(),
                     project.name.c_str(), Common::ConvertVersion::ToString(project.version).c_str());
            failure = Common::LocalFileSystem::DeleteFile(okPath);
        }
        if (FAILED(failure))
            QUOR_LOG(Log::ERROR, "Failed to delete the S_OK of solution %s %s.", solution.c_str(),
                     Common::ConvertVersion::ToString(version).c_str());
        return SUCCEEDED(failure);
    });
    return FAILED(hr) ? hr : failure;
}

}  // namespace Quor::User
