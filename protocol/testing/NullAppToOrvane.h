#pragma once
// Test helper: an IAppToOrvane whose every operation does nothing. Derive from it and override the
// requests a test or benchmark answers. Holds no state; any thread may call it.
#include "protocol/IAppToOrvane.h"

namespace QuorTest {

class NullAppToOrvane : public Quor::OrvaneProtocol::IAppToOrvane {
public:
    ~NullAppToOrvane() override = default;
    void GetVersionRequest(const DWORD, const DWORD) override {}
    void TerminateRequest(const DWORD, const DWORD) override {}
    void EnumerateAvailableProjectsRequest(const DWORD, const DWORD) override {}
    void EnumerateInstalledProjectsRequest(const DWORD, const DWORD) override {}
    void EnumerateAvailableProjectReleasesRequest(const DWORD, const DWORD, const std::string&) override {}
    void EnumerateInstalledProjectReleasesRequest(const DWORD, const DWORD, const std::string&) override {}
    void InstallProjectReleaseRequest(const DWORD, const DWORD, const std::string&, const DWORD) override {}
    void UpdateProjectRequest(const DWORD, const DWORD, const std::string&) override {}
    void RepairRequest(const DWORD, const DWORD, const UINT) override {}
    void ValidateProjectRequest(const DWORD, const DWORD, const std::string&) override {}
    void UninstallProjectReleaseRequest(const DWORD, const DWORD, const std::string&, const DWORD) override {}
    void EnumerateAvailableSolutionsRequest(const DWORD, const DWORD) override {}
    void EnumerateInstalledSolutionsRequest(const DWORD, const DWORD) override {}
    void EnumerateAvailableSolutionReleasesRequest(const DWORD, const DWORD, const std::string&) override {}
    void EnumerateInstalledSolutionReleasesRequest(const DWORD, const DWORD, const std::string&) override {}
    void InstallSolutionReleaseRequest(const DWORD, const DWORD, const std::string&, const DWORD,
                                       const std::string&) override {}
    void InstallSolutionReleaseByProjectVersionRequest(const DWORD, const DWORD, const std::string&,
                                                       const std::string&, const std::string&, const bool,
                                                       const bool) override {}
    void UpdateSolutionRequest(const DWORD, const DWORD, const std::string&, const std::string&) override {}
    void ValidateSolutionRequest(const DWORD, const DWORD, const std::string&) override {}
    void UninstallSolutionReleaseRequest(const DWORD, const DWORD, const std::string&, const DWORD) override {
    }
    void CreateProcessRequest(const DWORD, const DWORD, const std::string&, const DWORD, const std::string&,
                              const std::string&) override {}
    void SetLogParametersRequest(const DWORD, const DWORD, const UINT) override {}
    void LockFileRequest(const DWORD, const DWORD, const std::string&, const DWORD,
                         const std::string&) override {}
    void UnlockFileRequest(const DWORD, const DWORD, const DWORD) override {}
    void GetProjectVersionForSolutionReleaseRequest(const DWORD, const DWORD, const std::string&,
                                                    const DWORD) override {}
    void CancelRequest(const DWORD, const DWORD) override {}
    void GetQuorLibraryRequest(const DWORD, const DWORD) override {}
};

}  // namespace QuorTest
