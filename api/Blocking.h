#pragma once
// Quor::API::Blocking: one plain call per kernel request. Each creates its request through the
// main object's request manager, waits until it is complete and copies its results out.
//
// The result is the request's result code. On failure the outputs keep their values, except that
// list outputs are emptied first (they are empty whenever a call fails). A main object that is not
// connected to a kernel (no IMain::FLAG_CONNECTED) fails every call with E_FAIL and the line
// "Failed to make RPC call.", without touching the request manager. A call ends when the kernel
// answers or the connection to it ends. Several threads may call at once; UpdateProject's
// listener gets every progress report of its request before the call returns, on the request
// manager's worker thread.
#include <memory>
#include <string>
#include <vector>

#include "foundation/Types.h"
#include "foundation/api/IMain.h"
#include "foundation/api/Progress.h"

namespace Quor::API::Blocking {

HRESULT GetVersion(IMain& main, DWORD& version);
HRESULT EnumerateAvailableProjects(IMain& main, std::vector<std::string>& projects);
HRESULT EnumerateInstalledProjects(IMain& main, std::vector<std::string>& projects);
HRESULT EnumerateAvailableProjectReleases(IMain& main, const std::string& project,
                                          std::vector<DWORD>& releases);
HRESULT EnumerateInstalledProjectReleases(IMain& main, const std::string& project,
                                          std::vector<DWORD>& releases);
HRESULT InstallProjectRelease(IMain& main, const std::string& project, const DWORD version);
HRESULT UpdateProject(IMain& main, const std::string& project, const std::weak_ptr<IUpdateProgress> progress);
HRESULT Repair(IMain& main, const UINT flags);
HRESULT UninstallProjectRelease(IMain& main, const std::string& project, const DWORD version);
HRESULT EnumerateAvailableSolutions(IMain& main, std::vector<std::string>& solutions);
HRESULT EnumerateInstalledSolutions(IMain& main, std::vector<std::string>& solutions);
HRESULT EnumerateAvailableSolutionReleases(IMain& main, const std::string& solution,
                                           std::vector<DWORD>& releases);
HRESULT EnumerateInstalledSolutionReleases(IMain& main, const std::string& solution,
                                           std::vector<DWORD>& releases);
HRESULT InstallSolutionRelease(IMain& main, const std::string& solution, const DWORD version,
                               const std::string& configuration);
HRESULT InstallSolutionReleaseByProjectVersion(IMain& main, const std::string& solution,
                                               const std::string& projectVersion,
                                               const std::string& configuration, const bool preview,
                                               const bool uninstall, DWORD& version, std::string& response);
HRESULT UpdateSolution(IMain& main, const std::string& solution, const std::string& configuration);
HRESULT UninstallSolutionRelease(IMain& main, const std::string& solution, const DWORD version);
HRESULT Terminate(IMain& main);
HRESULT CreateProcess(IMain& main, const std::string& name, const DWORD version,
                      const std::string& executable, const std::string& arguments, DWORD& processId,
                      DWORD& threadId);
HRESULT SetLogParameters(IMain& main, const UINT parameters);
HRESULT LockFile(IMain& main, const std::string& project, const DWORD version, const std::string& path,
                 std::string& fileName, uint32_t& offset, uint32_t& size, uint32_t& handle);
HRESULT UnlockFile(IMain& main, const DWORD handle);
// Carries no result code: an empty projectVersion (with "Failed to make RPC call.") is the failure.
void GetProjectVersionForSolutionRelease(IMain& main, const std::string& solution, const DWORD version,
                                         std::string& projectVersion);
HRESULT GetQuorLibrary(IMain& main, std::string& path);

}  // namespace Quor::API::Blocking
