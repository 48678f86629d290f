#pragma once
// The kernel's answers to a program: one operation per response type, plus progress reports.
//
// Every operation starts with the requester (the connection) and the id of the request answered.
// ToApp::Send turns calls into packets; the client's request manager implements it and
// ToApp::TranslateAndDispatch calls it. Operations without a result word (GetVersion,
// GetProjectVersionForSolutionRelease, RequestProgress) carry none. Not deleted through this
// interface. Implementations say which threads may call them.
#include <string>
#include <vector>

#include "foundation/Types.h"
#include "foundation/api/Progress.h"

namespace Quor::OrvaneProtocol {

class IOrvaneToApp {
public:
    virtual void GetVersionResponse(const DWORD requester, const DWORD requestId, const DWORD version) = 0;
    virtual void TerminateResponse(const DWORD requester, const DWORD requestId, const HRESULT hr) = 0;
    virtual void EnumerateAvailableProjectsResponse(const DWORD requester, const DWORD requestId,
                                                    const HRESULT hr,
                                                    const std::vector<std::string>& projects) = 0;
    virtual void EnumerateAvailableProjectReleasesResponse(const DWORD requester, const DWORD requestId,
                                                           const HRESULT hr,
                                                           const std::vector<DWORD>& versions) = 0;
    virtual void EnumerateInstalledProjectsResponse(const DWORD requester, const DWORD requestId,
                                                    const HRESULT hr,
                                                    const std::vector<std::string>& projects) = 0;
    virtual void EnumerateInstalledProjectReleasesResponse(const DWORD requester, const DWORD requestId,
                                                           const HRESULT hr,
                                                           const std::vector<DWORD>& versions) = 0;
    virtual void InstallProjectReleaseResponse(const DWORD requester, const DWORD requestId,
                                               const HRESULT hr) = 0;
    virtual void UpdateProjectResponse(const DWORD requester, const DWORD requestId, const HRESULT hr,
                                       const DWORD version) = 0;
    virtual void RepairResponse(const DWORD requester, const DWORD requestId, const HRESULT hr) = 0;
    virtual void ValidateProjectResponse(const DWORD requester, const DWORD requestId, const HRESULT hr) = 0;
    virtual void UninstallProjectReleaseResponse(const DWORD requester, const DWORD requestId,
                                                 const HRESULT hr) = 0;
    virtual void EnumerateAvailableSolutionsResponse(const DWORD requester, const DWORD requestId,
                                                     const HRESULT hr,
                                                     const std::vector<std::string>& solutions) = 0;
    virtual void EnumerateAvailableSolutionReleasesResponse(const DWORD requester, const DWORD requestId,
                                                            const HRESULT hr,
                                                            const std::vector<DWORD>& versions) = 0;
    virtual void EnumerateInstalledSolutionsResponse(const DWORD requester, const DWORD requestId,
                                                     const HRESULT hr,
                                                     const std::vector<std::string>& solutions) = 0;
    virtual void EnumerateInstalledSolutionReleasesResponse(const DWORD requester, const DWORD requestId,
                                                            const HRESULT hr,
                                                            const std::vector<DWORD>& versions) = 0;
    virtual void InstallSolutionReleaseResponse(const DWORD requester, const DWORD requestId,
                                                const HRESULT hr, const DWORD version) = 0;
    virtual void InstallSolutionReleaseByProjectVersionResponse(const DWORD requester, const DWORD requestId,
                                                                const HRESULT hr, const DWORD version,
                                                                const std::string& response) = 0;
    virtual void UpdateSolutionResponse(const DWORD requester, const DWORD requestId, const HRESULT hr,
                                        const DWORD version) = 0;
    virtual void ValidateSolutionResponse(const DWORD requester, const DWORD requestId, const HRESULT hr) = 0;
    virtual void UninstallSolutionReleaseResponse(const DWORD requester, const DWORD requestId,
                                                  const HRESULT hr) = 0;
    virtual void CreateProcessResponse(const DWORD requester, const DWORD requestId, const HRESULT hr,
                                       const DWORD processId, const DWORD threadId) = 0;
    virtual void SetLogParametersResponse(const DWORD requester, const DWORD requestId, const HRESULT hr) = 0;
    virtual void LockFileResponse(const DWORD requester, const DWORD requestId, const HRESULT hr,
                                  const std::string& fileName, const DWORD offset, const DWORD size,
                                  const DWORD handle) = 0;
    virtual void UnlockFileResponse(const DWORD requester, const DWORD requestId, const HRESULT hr) = 0;
    virtual void GetProjectVersionForSolutionReleaseResponse(const DWORD requester, const DWORD requestId,
                                                             const std::string& projectVersion) = 0;
    virtual void RequestProgress(const DWORD requester, const DWORD requestId, const DWORD counter1,
                                 const DWORD counter2, const DWORD counter3, const DWORD counter4,
                                 const DWORD bytesDownloaded, const DWORD bytesToDownload,
                                 const Quor::API::Progress::OperationType operationType,
                                 const Quor::API::Progress::StepType stepType, const float elapsedSeconds,
                                 const float remainingSeconds, const std::string& currentItem) = 0;
    virtual void GetQuorLibraryResponse(const DWORD requester, const DWORD requestId, const HRESULT hr,
                                        const std::string& path) = 0;

protected:
    ~IOrvaneToApp() = default;
};

}  // namespace Quor::OrvaneProtocol
