#pragma once
// ToApp::Send: writes each response or progress report as one packet and hands it to the
// transport in one call.
//
// Holds only a reference to the transport, which must outlive it. Keeps no state between calls
// and takes no lock: threads may call it at once as far as the transport allows. A failed send is
// not reported (the operations return nothing).
#include "protocol/IOrvaneToApp.h"
#include "protocol/ISendPacket.h"

namespace Quor::OrvaneProtocol::ToApp {

class Send final : public IOrvaneToApp {
public:
    explicit Send(ISendPacket& transport) : m_Transport(transport) {}

    void GetVersionResponse(const DWORD requester, const DWORD requestId, const DWORD version) override;
    void TerminateResponse(const DWORD requester, const DWORD requestId, const HRESULT hr) override;
    void EnumerateAvailableProjectsResponse(const DWORD requester, const DWORD requestId, const HRESULT hr,
                                            const std::vector<std::string>& projects) override;
    void EnumerateAvailableProjectReleasesResponse(const DWORD requester, const DWORD requestId,
                                                   const HRESULT hr,
                                                   const std::vector<DWORD>& versions) override;
    void EnumerateInstalledProjectsResponse(const DWORD requester, const DWORD requestId, const HRESULT hr,
                                            const std::vector<std::string>& projects) override;
    void EnumerateInstalledProjectReleasesResponse(const DWORD requester, const DWORD requestId,
                                                   const HRESULT hr,
                                                   const std::vector<DWORD>& versions) override;
    void InstallProjectReleaseResponse(const DWORD requester, const DWORD requestId,
                                       const HRESULT hr) override;
    void UpdateProjectResponse(const DWORD requester, const DWORD requestId, const HRESULT hr,
                               const DWORD version) override;
    void RepairResponse(const DWORD requester, const DWORD requestId, const HRESULT hr) override;
    void ValidateProjectResponse(const DWORD requester, const DWORD requestId, const HRESULT hr) override;
    void UninstallProjectReleaseResponse(const DWORD requester, const DWORD requestId,
                                         const HRESULT hr) override;
    void EnumerateAvailableSolutionsResponse(const DWORD requester, const DWORD requestId, const HRESULT hr,
                                             const std::vector<std::string>& solutions) override;
    void EnumerateAvailableSolutionReleasesResponse(const DWORD requester, const DWORD requestId,
                                                    const HRESULT hr,
                                                    const std::vector<DWORD>& versions) override;
    void EnumerateInstalledSolutionsResponse(const DWORD requester, const DWORD requestId, const HRESULT hr,
                                             const std::vector<std::string>& solutions) override;
    void EnumerateInstalledSolutionReleasesResponse(const DWORD requester, const DWORD requestId,
                                                    const HRESULT hr,
                                                    const std::vector<DWORD>& versions) override;
    void InstallSolutionReleaseResponse(const DWORD requester, const DWORD requestId, const HRESULT hr,
                                        const DWORD version) override;
    void InstallSolutionReleaseByProjectVersionResponse(const DWORD requester, const DWORD requestId,
                                                        const HRESULT hr, const DWORD version,
                                                        const std::string& response) override;
    void UpdateSolutionResponse(const DWORD requester, const DWORD requestId, const HRESULT hr,
                                const DWORD version) override;
    void ValidateSolutionResponse(const DWORD requester, const DWORD requestId, const HRESULT hr) override;
    void UninstallSolutionReleaseResponse(const DWORD requester, const DWORD requestId,
                                          const HRESULT hr) override;
    void CreateProcessResponse(const DWORD requester, const DWORD requestId, const HRESULT hr,
                               const DWORD processId, const DWORD threadId) override;
    void SetLogParametersResponse(const DWORD requester, const DWORD requestId, const HRESULT hr) override;
    void LockFileResponse(const DWORD requester, const DWORD requestId, const HRESULT hr,
                          const std::string& fileName, const DWORD offset, const DWORD size,
                          const DWORD handle) override;
    void UnlockFileResponse(const DWORD requester, const DWORD requestId, const HRESULT hr) override;
    void GetProjectVersionForSolutionReleaseResponse(const DWORD requester, const DWORD requestId,
                                                     const std::string& projectVersion) override;
    void RequestProgress(const DWORD requester, const DWORD requestId, const DWORD counter1,
                         const DWORD counter2, const DWORD counter3, const DWORD counter4,
                         const DWORD bytesDownloaded, const DWORD bytesToDownload,
                         const Quor::API::Progress::OperationType operationType,
                         const Quor::API::Progress::StepType stepType, const float elapsedSeconds,
                         const float remainingSeconds, const std::string& currentItem) override;
    void GetQuorLibraryResponse(const DWORD requester, const DWORD requestId, const HRESULT hr,
                                const std::string& path) override;

private:
    ISendPacket& m_Transport;
};

}  // namespace Quor::OrvaneProtocol::ToApp
