#include "api/Blocking.h"

#include "api/RPC/IManager.h"
#include "common/Log.h"

namespace Quor::API::Blocking {

using Quor::API::RPC::IManager;
using Quor::Log::ERROR;
using Quor::Log::VERBOSE;

namespace {

constexpr const char* kFailed = "Failed to make RPC call.";
const std::weak_ptr<IUpdateProgress> kNoListener;

bool Connected(IMain& main, const char* tag) {
    if (main.GetFlags() & IMain::FLAG_CONNECTED) return true;
    QUOR_LOG_TAG(ERROR, tag, "%s", kFailed);
    return false;
}

// Creates the request, waits for it, and copies its results out when its code is a success.
template <class Make, class Copy>
HRESULT Call(IMain& main, const char* tag, Make&& make, Copy&& copy) {
    if (!Connected(main, tag)) return E_FAIL;
    const auto request = make(main.GetRPCManager());
    request->WaitUntilComplete();
    const auto result = request->GetAutoLockResult();
    const HRESULT hr = result->GetHResult();
    if (FAILED(hr))
        QUOR_LOG_TAG(ERROR, tag, "%s", kFailed);
    else
        copy(*result);
    return hr;
}

const auto kNothing = [](const auto&) {};

}  // namespace

HRESULT GetVersion(IMain& main, DWORD& version) {
    QUOR_LOG(VERBOSE, "%s", "");
    return Call(
        main, __PRETTY_FUNCTION__, [](IManager& m) { return m.CreateGetVersion(kNoListener); },
        [&](const auto& r) { version = r.GetResult(); });
}

HRESULT EnumerateAvailableProjects(IMain& main, std::vector<std::string>& projects) {
    QUOR_LOG(VERBOSE, "%s", "");
    projects.clear();
    return Call(
        main, __PRETTY_FUNCTION__,
        [](IManager& m) { return m.CreateEnumerateAvailableProjects(kNoListener); },
        [&](const auto& r) { projects = r.GetProjects(); });
}

HRESULT EnumerateInstalledProjects(IMain& main, std::vector<std::string>& projects) {
    QUOR_LOG(VERBOSE, "%s", "");
    projects.clear();
    return Call(
        main, __PRETTY_FUNCTION__,
        [](IManager& m) { return m.CreateEnumerateInstalledProjects(kNoListener); },
        [&](const auto& r) { projects = r.GetProjects(); });
}

HRESULT EnumerateAvailableProjectReleases(IMain& main, const std::string& project,
                                          std::vector<DWORD>& releases) {
    QUOR_LOG(VERBOSE, "%s", project.c_str());
    releases.clear();
    return Call(
        main, __PRETTY_FUNCTION__,
        [&](IManager& m) { return m.CreateEnumerateAvailableProjectReleases(project, kNoListener); },
        [&](const auto& r) { releases = r.GetReleases(); });
}

HRESULT EnumerateInstalledProjectReleases(IMain& main, const std::string& project,
                                          std::vector<DWORD>& releases) {
    QUOR_LOG(VERBOSE, "%s", project.c_str());
    releases.clear();
    return Call(
        main, __PRETTY_FUNCTION__,
        [&](IManager& m) { return m.CreateEnumerateInstalledProjectReleases(project, kNoListener); },
        [&](const auto& r) { releases = r.GetReleases(); });
}

HRESULT InstallProjectRelease(IMain& main, const std::string& project, const DWORD version) {
    QUOR_LOG(VERBOSE, "%s, 0x%08x", project.c_str(), version);
    return Call(
        main, __PRETTY_FUNCTION__,
        [&](IManager& m) { return m.CreateInstallProjectRelease(project, version, kNoListener); }, kNothing);
}

HRESULT UpdateProject(IMain& main, const std::string& project,
                      const std::weak_ptr<IUpdateProgress> progress) {
    QUOR_LOG(VERBOSE, "%s", project.c_str());
    return Call(
        main, __PRETTY_FUNCTION__, [&](IManager& m) { return m.CreateUpdateProject(project, progress); },
        kNothing);
}

HRESULT Repair(IMain& main, const UINT flags) {
    QUOR_LOG(VERBOSE, "0x%08x", flags);
    return Call(
        main, __PRETTY_FUNCTION__, [&](IManager& m) { return m.CreateRepair(flags, kNoListener); }, kNothing);
}

HRESULT UninstallProjectRelease(IMain& main, const std::string& project, const DWORD version) {
    QUOR_LOG(VERBOSE, "%s, 0x%08x", project.c_str(), version);
    return Call(
        main, __PRETTY_FUNCTION__,
        [&](IManager& m) { return m.CreateUninstallProjectRelease(project, version, kNoListener); },
        kNothing);
}

HRESULT EnumerateAvailableSolutions(IMain& main, std::vector<std::string>& solutions) {
    QUOR_LOG(VERBOSE, "%s", "");
    solutions.clear();
    return Call(
        main, __PRETTY_FUNCTION__,
        [](IManager& m) { return m.CreateEnumerateAvailableSolutions(kNoListener); },
        [&](const auto& r) { solutions = r.GetSolutions(); });
}

HRESULT EnumerateInstalledSolutions(IMain& main, std::vector<std::string>& solutions) {
    QUOR_LOG(VERBOSE, "%s", "");
    solutions.clear();
    return Call(
        main, __PRETTY_FUNCTION__,
        [](IManager& m) { return m.CreateEnumerateInstalledSolutions(kNoListener); },
        [&](const auto& r) { solutions = r.GetSolutions(); });
}

HRESULT EnumerateAvailableSolutionReleases(IMain& main, const std::string& solution,
                                           std::vector<DWORD>& releases) {
    QUOR_LOG(VERBOSE, "%s", solution.c_str());
    releases.clear();
    return Call(
        main, __PRETTY_FUNCTION__,
        [&](IManager& m) { return m.CreateEnumerateAvailableSolutionReleases(solution, kNoListener); },
        [&](const auto& r) { releases = r.GetReleases(); });
}

HRESULT EnumerateInstalledSolutionReleases(IMain& main, const std::string& solution,
                                           std::vector<DWORD>& releases) {
    QUOR_LOG(VERBOSE, "%s", solution.c_str());
    releases.clear();
    return Call(
        main, __PRETTY_FUNCTION__,
        [&](IManager& m) { return m.CreateEnumerateInstalledSolutionReleases(solution, kNoListener); },
        [&](const auto& r) { releases = r.GetReleases(); });
}

HRESULT InstallSolutionRelease(IMain& main, const std::string& solution, const DWORD version,
                               const std::string& configuration) {
    QUOR_LOG(VERBOSE, "%s, 0x%08x, %s", solution.c_str(), version, configuration.c_str());
    return Call(
        main, __PRETTY_FUNCTION__,
        [&](IManager& m) {
            return m.CreateInstallSolutionRelease(solution, version, configuration, kNoListener);
        },
        kNothing);
}

HRESULT InstallSolutionReleaseByProjectVersion(IMain& main, const std::string& solution,
                                               const std::string& projectVersion,
                                               const std::string& configuration, const bool preview,
                                               const bool uninstall, DWORD& version, std::string& response) {
    QUOR_LOG(VERBOSE, "%s, %s, %s", solution.c_str(), projectVersion.c_str(), configuration.c_str());
    return Call(
        main, __PRETTY_FUNCTION__,
        [&](IManager& m) {
            return m.CreateInstallSolutionReleaseByProjectVersion(solution, projectVersion, configuration,
                                                                  preview, uninstall, kNoListener);
        },
        [&](const auto& r) {
            version = r.GetVer();
            r.GetResp(response);
        });
}

HRESULT UpdateSolution(IMain& main, const std::string& solution, const std::string& configuration) {
    QUOR_LOG(VERBOSE, "%s, %s", solution.c_str(), configuration.c_str());
    return Call(
        main, __PRETTY_FUNCTION__,
        [&](IManager& m) { return m.CreateUpdateSolution(solution, configuration, kNoListener); }, kNothing);
}

HRESULT UninstallSolutionRelease(IMain& main, const std::string& solution, const DWORD version) {
    QUOR_LOG(VERBOSE, "%s, 0x%08x", solution.c_str(), version);
    return Call(
        main, __PRETTY_FUNCTION__,
        [&](IManager& m) { return m.CreateUninstallSolutionRelease(solution, version, kNoListener); },
        kNothing);
}

HRESULT Terminate(IMain& main) {
    QUOR_LOG(VERBOSE, "%s", "");
    return Call(
        main, __PRETTY_FUNCTION__, [](IManager& m) { return m.CreateTerminate(kNoListener); }, kNothing);
}

HRESULT CreateProcess(IMain& main, const std::string& name, const DWORD version,
                      const std::string& executable, const std::string& arguments, DWORD& processId,
                      DWORD& threadId) {
    QUOR_LOG(VERBOSE, "%s, 0x%08x, %s, %s", name.c_str(), version, executable.c_str(), arguments.c_str());
    return Call(
        main, __PRETTY_FUNCTION__,
        [&](IManager& m) { return m.CreateCreateProcess(name, version, executable, arguments, kNoListener); },
        [&](const auto& r) {
            processId = r.GetProcessId();
            threadId = r.GetThreadId();
        });
}

HRESULT SetLogParameters(IMain& main, const UINT parameters) {
    QUOR_LOG(VERBOSE, "%d", parameters);
    return Call(
        main, __PRETTY_FUNCTION__,
        [&](IManager& m) { return m.CreateSetLogParameters(parameters, kNoListener); }, kNothing);
}

HRESULT LockFile(IMain& main, const std::string& project, const DWORD version, const std::string& path,
                 std::string& fileName, uint32_t& offset, uint32_t& size, uint32_t& handle) {
    QUOR_LOG(VERBOSE, "%s, %d, %s", project.c_str(), version, path.c_str());
    return Call(
        main, __PRETTY_FUNCTION__,
        [&](IManager& m) { return m.CreateLockFile(project, version, path, kNoListener); },
        [&](const auto& r) {
            fileName = r.GetFileName();
            offset = r.GetOffset();
            size = r.GetSize();
            handle = r.GetHandle();
        });
}

HRESULT UnlockFile(IMain& main, const DWORD handle) {
    QUOR_LOG(VERBOSE, "0x%08x", handle);
    return Call(
        main, __PRETTY_FUNCTION__, [&](IManager& m) { return m.CreateUnlockFile(handle, kNoListener); },
        kNothing);
}

void GetProjectVersionForSolutionRelease(IMain& main, const std::string& solution, const DWORD version,
                                         std::string& projectVersion) {
    QUOR_LOG(VERBOSE, "%s", solution.c_str());
    if (!Connected(main, __PRETTY_FUNCTION__)) {
        projectVersion.clear();
        return;
    }
    const auto request =
        main.GetRPCManager().CreateGetProjectVersionForSolutionRelease(solution, version, kNoListener);
    request->WaitUntilComplete();
    request->GetAutoLockResult()->GetProjectVersion(projectVersion);
    if (projectVersion.empty()) QUOR_LOG(ERROR, "%s", kFailed);
}

HRESULT GetQuorLibrary(IMain& main, std::string& path) {
    QUOR_LOG(VERBOSE, "%s", "");
    return Call(
        main, __PRETTY_FUNCTION__, [](IManager& m) { return m.CreateGetQuorLibrary(kNoListener); },
        [&](const auto& r) { path = r.GetPath(); });
}

}  // namespace Quor::API::Blocking
