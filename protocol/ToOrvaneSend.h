#pragma once
// ToOrvane::Send: writes each request as one packet and hands it to the transport in one call.
//
// Holds only a reference to the transport, which must outlive it. Keeps no state between calls
// and takes no lock: threads may call it at once as far as the transport allows. A failed send is
// not reported (the operations return nothing); the request then simply gets no answer.
#include "protocol/IAppToOrvane.h"
#include "protocol/ISendPacket.h"

namespace Quor::OrvaneProtocol::ToOrvane {

class Send : public IAppToOrvane {
public:
    explicit Send(ISendPacket& transport) : m_Transport(transport) {}
    ~Send() override {}

    void GetVersionRequest(const DWORD requester, const DWORD requestId) override;
    void TerminateRequest(const DWORD requester, const DWORD requestId) override;
    void EnumerateAvailableProjectsRequest(const DWORD requester, const DWORD requestId) override;
    void EnumerateInstalledProjectsRequest(const DWORD requester, const DWORD requestId) override;
    void EnumerateAvailableProjectReleasesRequest(const DWORD requester, const DWORD requestId,
                                                  const std::string& project) override;
    void EnumerateInstalledProjectReleasesRequest(const DWORD requester, const DWORD requestId,
                                                  const std::string& project) override;
    void InstallProjectReleaseRequest(const DWORD requester, const DWORD requestId,
                                      const std::string& project, const DWORD version) override;
    void UpdateProjectRequest(const DWORD requester, const DWORD requestId,
                              const std::string& project) override;
    void RepairRequest(const DWORD requester, const DWORD requestId, const UINT flags) override;
    void ValidateProjectRequest(const DWORD requester, const DWORD requestId,
                                const std::string& project) override;
    void UninstallProjectReleaseRequest(const DWORD requester, const DWORD requestId,
                                        const std::string& project, const DWORD version) override;
    void EnumerateAvailableSolutionsRequest(const DWORD requester, const DWORD requestId) override;
    void EnumerateInstalledSolutionsRequest(const DWORD requester, const DWORD requestId) override;
    void EnumerateAvailableSolutionReleasesRequest(const DWORD requester, const DWORD requestId,
                                                   const std::string& solution) override;
    void EnumerateInstalledSolutionReleasesRequest(const DWORD requester, const DWORD requestId,
                                                   const std::string& solution) override;
    void InstallSolutionReleaseRequest(const DWORD requester, const DWORD requestId,
                                       const std::string& solution, const DWORD version,
                                       const std::string& configuration) override;
    void InstallSolutionReleaseByProjectVersionRequest(const DWORD requester, const DWORD requestId,
                                                       const std::string& solution,
                                                       const std::string& projectVersion,
                                                       const std::string& configuration, const bool preview,
                                                       const bool uninstall) override;
    void UpdateSolutionRequest(const DWORD requester, const DWORD requestId, const std::string& solution,
                               const std::string& configuration) override;
    void ValidateSolutionRequest(const DWORD requester, const DWORD requestId,
                                 const std::string& solution) override;
    void UninstallSolutionReleaseRequest(const DWORD requester, const DWORD requestId,
                                         const std::string& solution, const DWORD version) override;
    void CreateProcessRequest(const DWORD requester, const DWORD requestId, const std::string& name,
                              const DWORD version, const std::string& executable,
                              const std::string& arguments) override;
    void SetLogParametersRequest(const DWORD requester, const DWORD requestId,
                                 const UINT parameters) override;
    void LockFileRequest(const DWORD requester, const DWORD requestId, const std::string& project,
                         const DWORD version, const std::string& path) override;
    void UnlockFileRequest(const DWORD requester, const DWORD requestId, const DWORD handle) override;
    void GetProjectVersionForSolutionReleaseRequest(const DWORD requester, const DWORD requestId,
                                                    const std::string& solution,
                                                    const DWORD version) override;
    void CancelRequest(const DWORD requester, const DWORD requestId) override;
    void GetQuorLibraryRequest(const DWORD requester, const DWORD requestId) override;

private:
    ISendPacket& m_Transport;
};

}  // namespace Quor::OrvaneProtocol::ToOrvane
