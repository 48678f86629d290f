#pragma once
// Test helper: an IOrvaneToApp whose every operation does nothing. Derive from it and override the
// responses a test or benchmark takes. Holds no state; any thread may call it.
#include "protocol/IOrvaneToApp.h"

namespace QuorTest {

class NullOrvaneToApp : public Quor::OrvaneProtocol::IOrvaneToApp {
public:
    virtual ~NullOrvaneToApp() = default;
    void GetVersionResponse(const DWORD, const DWORD, const DWORD) override {}
    void TerminateResponse(const DWORD, const DWORD, const HRESULT) override {}
    void EnumerateAvailableProjectsResponse(const DWORD, const DWORD, const HRESULT,
                                            const std::vector<std::string>&) override {}
    void EnumerateAvailableProjectReleasesResponse(const DWORD, const DWORD, const HRESULT,
                                                   const std::vector<DWORD>&) override {}
    void EnumerateInstalledProjectsResponse(const DWORD, const DWORD, const HRESULT,
                                            const std::vector<std::string>&) override {}
    void EnumerateInstalledProjectReleasesResponse(const DWORD, const DWORD, const HRESULT,
                                                   const std::vector<DWORD>&) override {}
    void InstallProjectReleaseResponse(const DWORD, const DWORD, const HRESULT) override {}
    void UpdateProjectResponse(const DWORD, const DWORD, const HRESULT, const DWORD) override {}
    void RepairResponse(const DWORD, const DWORD, const HRESULT) override {}
    void ValidateProjectResponse(const DWORD, const DWORD, const HRESULT) override {}
    void UninstallProjectReleaseResponse(const DWORD, const DWORD, const HRESULT) override {}
    void EnumerateAvailableSolutionsResponse(const DWORD, const DWORD, const HRESULT,
                                             const std::vector<std::string>&) override {}
    void EnumerateAvailableSolutionReleasesResponse(const DWORD, const DWORD, const HRESULT,
                                                    const std::vector<DWORD>&) override {}
    void EnumerateInstalledSolutionsResponse(const DWORD, const DWORD, const HRESULT,
                                             const std::vector<std::string>&) override {}
    void EnumerateInstalledSolutionReleasesResponse(const DWORD, const DWORD, const HRESULT,
                                                    const std::vector<DWORD>&) override {}
    void InstallSolutionReleaseResponse(const DWORD, const DWORD, const HRESULT, const DWORD) override {}
    void InstallSolutionReleaseByProjectVersionResponse(const DWORD, const DWORD, const HRESULT, const DWORD,
                                                        const std::string&) override {}
    void UpdateSolutionResponse(const DWORD, const DWORD, const HRESULT, const DWORD) override {}
    void ValidateSolutionResponse(const DWORD, const DWORD, const HRESULT) override {}
    void UninstallSolutionReleaseResponse(const DWORD, const DWORD, const HRESULT) override {}
    void CreateProcessResponse(const DWORD, const DWORD, const HRESULT, const DWORD, const DWORD) override {}
    void SetLogParametersResponse(const DWORD, const DWORD, const HRESULT) override {}
    void LockFileResponse(const DWORD, const DWORD, const HRESULT, const std::string&, const DWORD,
                          const DWORD, const DWORD) override {}
    void UnlockFileResponse(const DWORD, const DWORD, const HRESULT) override {}
    void GetProjectVersionForSolutionReleaseResponse(const DWORD, const DWORD, const std::string&) override {}
    void RequestProgress(const DWORD, const DWORD, const DWORD, const DWORD, const DWORD, const DWORD,
                         const DWORD, const DWORD, const Quor::API::Progress::OperationType,
                         const Quor::API::Progress::StepType, const float, const float,
                         const std::string&) override {}
    void GetQuorLibraryResponse(const DWORD, const DWORD, const HRESULT, const std::string&) override {}
};

}  // namespace QuorTest
