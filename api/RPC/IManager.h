#pragma once
// The factories of kernel requests that a program sees (through IMain::GetRPCManager()).
//
// Each factory sends its request to the kernel and returns the request object, never empty. The
// listener (may be empty; never kept alive) receives the request's progress reports on the
// manager's worker thread. When the request cannot be sent, or the connection to the kernel has
// ended, the request comes back already complete with E_FAIL. Any thread may call the factories;
// a progress listener must not, and neither may a thread holding a request's result view.
#include <memory>
#include <string>

#include "api/RPC/Requests.h"
#include "foundation/Types.h"
#include "foundation/api/Progress.h"

namespace Quor::API::RPC {

class IManager {
public:
    virtual std::shared_ptr<IGetVersion> CreateGetVersion(
        std::weak_ptr<Quor::API::IUpdateProgress> progress) = 0;
    virtual std::shared_ptr<IEnumerateAvailableProjects> CreateEnumerateAvailableProjects(
        std::weak_ptr<Quor::API::IUpdateProgress> progress) = 0;
    virtual std::shared_ptr<IEnumerateInstalledProjects> CreateEnumerateInstalledProjects(
        std::weak_ptr<Quor::API::IUpdateProgress> progress) = 0;
    virtual std::shared_ptr<IEnumerateAvailableProjectReleases> CreateEnumerateAvailableProjectReleases(
        const std::string& project, std::weak_ptr<Quor::API::IUpdateProgress> progress) = 0;
    virtual std::shared_ptr<IEnumerateInstalledProjectReleases> CreateEnumerateInstalledProjectReleases(
        const std::string& project, std::weak_ptr<Quor::API::IUpdateProgress> progress) = 0;
    virtual std::shared_ptr<IInstallProjectRelease> CreateInstallProjectRelease(
        const std::string& project, const DWORD version,
        std::weak_ptr<Quor::API::IUpdateProgress> progress) = 0;
    virtual std::shared_ptr<IUpdateProject> CreateUpdateProject(
        const std::string& project, std::weak_ptr<Quor::API::IUpdateProgress> progress) = 0;
    virtual std::shared_ptr<IRepair> CreateRepair(const UINT flags,
                                                  std::weak_ptr<Quor::API::IUpdateProgress> progress) = 0;
    virtual std::shared_ptr<IValidateProject> CreateValidateProject(
        const std::string& project, std::weak_ptr<Quor::API::IUpdateProgress> progress) = 0;
    virtual std::shared_ptr<IUninstallProjectRelease> CreateUninstallProjectRelease(
        const std::string& project, const DWORD version,
        std::weak_ptr<Quor::API::IUpdateProgress> progress) = 0;
    virtual std::shared_ptr<IEnumerateAvailableSolutions> CreateEnumerateAvailableSolutions(
        std::weak_ptr<Quor::API::IUpdateProgress> progress) = 0;
    virtual std::shared_ptr<IEnumerateInstalledSolutions> CreateEnumerateInstalledSolutions(
        std::weak_ptr<Quor::API::IUpdateProgress> progress) = 0;
    virtual std::shared_ptr<IEnumerateAvailableSolutionReleases> CreateEnumerateAvailableSolutionReleases(
        const std::string& solution, std::weak_ptr<Quor::API::IUpdateProgress> progress) = 0;
    virtual std::shared_ptr<IEnumerateInstalledSolutionReleases> CreateEnumerateInstalledSolutionReleases(
        const std::string& solution, std::weak_ptr<Quor::API::IUpdateProgress> progress) = 0;
    virtual std::shared_ptr<IInstallSolutionRelease> CreateInstallSolutionRelease(
        const std::string& solution, const DWORD version, const std::string& configuration,
        std::weak_ptr<Quor::API::IUpdateProgress> progress) = 0;
    virtual std::shared_ptr<IInstallSolutionReleaseByProjectVersion>
    CreateInstallSolutionReleaseByProjectVersion(const std::string& solution,
                                                 const std::string& projectVersion,
                                                 const std::string& configuration, const bool preview,
                                                 const bool uninstall,
                                                 std::weak_ptr<Quor::API::IUpdateProgress> progress) = 0;
    virtual std::shared_ptr<IUpdateSolution> CreateUpdateSolution(
        const std::string& solution, const std::string& configuration,
        std::weak_ptr<Quor::API::IUpdateProgress> progress) = 0;
    virtual std::shared_ptr<IValidateSolution> CreateValidateSolution(
        const std::string& solution, std::weak_ptr<Quor::API::IUpdateProgress> progress) = 0;
    virtual std::shared_ptr<IUninstallSolutionRelease> CreateUninstallSolutionRelease(
        const std::string& solution, const DWORD version,
        std::weak_ptr<Quor::API::IUpdateProgress> progress) = 0;
    virtual std::shared_ptr<ITerminate> CreateTerminate(
        std::weak_ptr<Quor::API::IUpdateProgress> progress) = 0;
    virtual std::shared_ptr<ICreateProcess> CreateCreateProcess(
        const std::string& name, const DWORD version, const std::string& executable,
        const std::string& arguments, std::weak_ptr<Quor::API::IUpdateProgress> progress) = 0;
    virtual std::shared_ptr<ISetLogParameters> CreateSetLogParameters(
        const UINT parameters, std::weak_ptr<Quor::API::IUpdateProgress> progress) = 0;
    virtual std::shared_ptr<ILockFile> CreateLockFile(const std::string& project, const DWORD version,
                                                      const std::string& path,
                                                      std::weak_ptr<Quor::API::IUpdateProgress> progress) = 0;
    virtual std::shared_ptr<IUnlockFile> CreateUnlockFile(
        const DWORD handle, std::weak_ptr<Quor::API::IUpdateProgress> progress) = 0;
    virtual std::shared_ptr<IGetProjectVersionForSolutionRelease> CreateGetProjectVersionForSolutionRelease(
        const std::string& solution, const DWORD version,
        std::weak_ptr<Quor::API::IUpdateProgress> progress) = 0;
    virtual std::shared_ptr<IGetQuorLibrary> CreateGetQuorLibrary(
        std::weak_ptr<Quor::API::IUpdateProgress> progress) = 0;
    virtual ~IManager() {}
};

}  // namespace Quor::API::RPC
