#pragma once
// The requests a program makes of the kernel, one operation per request type.
//
// Every operation starts with the requester (the connection: 0 in a client, the socket descriptor
// in the kernel) and the request id. ToOrvane::Send turns calls into packets; the kernel's request
// handlers implement it and ToOrvane::TranslateAndDispatch calls them. Operations report nothing
// back: the answer travels as a separate response (IOrvaneToApp). Implementations say which
// threads may call them.
#include <string>

#include "foundation/Types.h"

namespace Quor::OrvaneProtocol {

class IAppToOrvane {
public:
    virtual ~IAppToOrvane() = default;
    virtual void GetVersionRequest(const DWORD requester, const DWORD requestId) = 0;
    virtual void TerminateRequest(const DWORD requester, const DWORD requestId) = 0;
    virtual void EnumerateAvailableProjectsRequest(const DWORD requester, const DWORD requestId) = 0;
    virtual void EnumerateInstalledProjectsRequest(const DWORD requester, const DWORD requestId) = 0;
    virtual void EnumerateAvailableProjectReleasesRequest(const DWORD requester, const DWORD requestId,
                                                          const std::string& project) = 0;
    virtual void EnumerateInstalledProjectReleasesRequest(const DWORD requester, const DWORD requestId,
                                                          const std::string& project) = 0;
    virtual void InstallProjectReleaseRequest(const DWORD requester, const DWORD requestId,
                                              const std::string& project, const DWORD version) = 0;
    virtual void UpdateProjectRequest(const DWORD requester, const DWORD requestId,
                                      const std::string& project) = 0;
    virtual void RepairRequest(const DWORD requester, const DWORD requestId, const UINT flags) = 0;
    virtual void ValidateProjectRequest(const DWORD requester, const DWORD requestId,
                                        const std::string& project) = 0;
    virtual void UninstallProjectReleaseRequest(const DWORD requester, const DWORD requestId,
                                                const std::string& project, const DWORD version) = 0;
    virtual void EnumerateAvailableSolutionsRequest(const DWORD requester, const DWORD requestId) = 0;
    virtual void EnumerateInstalledSolutionsRequest(const DWORD requester, const DWORD requestId) = 0;
    virtual void EnumerateAvailableSolutionReleasesRequest(const DWORD requester, const DWORD requestId,
                                                           const std::string& solution) = 0;
    virtual void EnumerateInstalledSolutionReleasesRequest(const DWORD requester, const DWORD requestId,
                                                           const std::string& solution) = 0;
    virtual void InstallSolutionReleaseRequest(const DWORD requester, const DWORD requestId,
                                               const std::string& solution, const DWORD version,
                                               const std::string& configuration) = 0;
    virtual void InstallSolutionReleaseByProjectVersionRequest(const DWORD requester, const DWORD requestId,
                                                               const std::string& solution,
                                                               const std::string& projectVersion,
                                                               const std::string& configuration,
                                                               const bool preview, const bool uninstall) = 0;
    virtual void UpdateSolutionRequest(const DWORD requester, const DWORD requestId,
                                       const std::string& solution, const std::string& configuration) = 0;
    virtual void ValidateSolutionRequest(const DWORD requester, const DWORD requestId,
                                         const std::string& solution) = 0;
    virtual void UninstallSolutionReleaseRequest(const DWORD requester, const DWORD requestId,
                                                 const std::string& solution, const DWORD version) = 0;
    virtual void CreateProcessRequest(const DWORD requester, const DWORD requestId, const std::string& name,
                                      const DWORD version, const std::string& executable,
                                      const std::string& arguments) = 0;
    virtual void SetLogParametersRequest(const DWORD requester, const DWORD requestId,
                                         const UINT parameters) = 0;
    virtual void LockFileRequest(const DWORD requester, const DWORD requestId, const std::string& project,
                                 const DWORD version, const std::string& path) = 0;
    virtual void UnlockFileRequest(const DWORD requester, const DWORD requestId, const DWORD handle) = 0;
    virtual void GetProjectVersionForSolutionReleaseRequest(const DWORD requester, const DWORD requestId,
                                                            const std::string& solution,
                                                            const DWORD version) = 0;
    virtual void CancelRequest(const DWORD requester, const DWORD requestId) = 0;
    virtual void GetQuorLibraryRequest(const DWORD requester, const DWORD requestId) = 0;
};

}  // namespace Quor::OrvaneProtocol
