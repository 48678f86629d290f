#pragma once
// Test double of the kernel side of the protocol: records every request it receives as a
// RecordedCall (strings in `texts`, version/flags/handle words in `words`, the two flag bytes of
// InstallSolutionReleaseByProjectVersion in `flags`). Any thread may call it.
#include "protocol/IAppToOrvane.h"
#include "protocol/testing/RecordedCall.h"

namespace QuorTest {

class RecordingAppToOrvane final : public Quor::OrvaneProtocol::IAppToOrvane {
public:
    CallLog log;

    void GetVersionRequest(const DWORD r, const DWORD id) override {
        log.Record({"GetVersionRequest", r, id});
    }
    void TerminateRequest(const DWORD r, const DWORD id) override { log.Record({"TerminateRequest", r, id}); }
    void EnumerateAvailableProjectsRequest(const DWORD r, const DWORD id) override {
        log.Record({"EnumerateAvailableProjectsRequest", r, id});
    }
    void EnumerateInstalledProjectsRequest(const DWORD r, const DWORD id) override {
        log.Record({"EnumerateInstalledProjectsRequest", r, id});
    }
    void EnumerateAvailableProjectReleasesRequest(const DWORD r, const DWORD id,
                                                  const std::string& project) override {
        log.Record(RecordedCall("EnumerateAvailableProjectReleasesRequest", r, id).Text(project));
    }
    void EnumerateInstalledProjectReleasesRequest(const DWORD r, const DWORD id,
                                                  const std::string& project) override {
        log.Record(RecordedCall("EnumerateInstalledProjectReleasesRequest", r, id).Text(project));
    }
    void InstallProjectReleaseRequest(const DWORD r, const DWORD id, const std::string& project,
                                      const DWORD version) override {
        log.Record(RecordedCall("InstallProjectReleaseRequest", r, id).Text(project).Word(version));
    }
    void UpdateProjectRequest(const DWORD r, const DWORD id, const std::string& project) override {
        log.Record(RecordedCall("UpdateProjectRequest", r, id).Text(project));
    }
    void RepairRequest(const DWORD r, const DWORD id, const UINT flags) override {
        log.Record(RecordedCall("RepairRequest", r, id).Word(flags));
    }
    void ValidateProjectRequest(const DWORD r, const DWORD id, const std::string& project) override {
        log.Record(RecordedCall("ValidateProjectRequest", r, id).Text(project));
    }
    void UninstallProjectReleaseRequest(const DWORD r, const DWORD id, const std::string& project,
                                        const DWORD version) override {
        log.Record(RecordedCall("UninstallProjectReleaseRequest", r, id).Text(project).Word(version));
    }
    void EnumerateAvailableSolutionsRequest(const DWORD r, const DWORD id) override {
        log.Record({"EnumerateAvailableSolutionsRequest", r, id});
    }
    void EnumerateInstalledSolutionsRequest(const DWORD r, const DWORD id) override {
        log.Record({"EnumerateInstalledSolutionsRequest", r, id});
    }
    void EnumerateAvailableSolutionReleasesRequest(const DWORD r, const DWORD id,
                                                   const std::string& solution) override {
        log.Record(RecordedCall("EnumerateAvailableSolutionReleasesRequest", r, id).Text(solution));
    }
    void EnumerateInstalledSolutionReleasesRequest(const DWORD r, const DWORD id,
                                                   const std::string& solution) override {
        log.Record(RecordedCall("EnumerateInstalledSolutionReleasesRequest", r, id).Text(solution));
    }
    void InstallSolutionReleaseRequest(const DWORD r, const DWORD id, const std::string& solution,
                                       const DWORD version, const std::string& configuration) override {
        log.Record(RecordedCall("InstallSolutionReleaseRequest", r, id)
                       .Text(solution)
                       .Word(version)
                       .Text(configuration));
    }
    void InstallSolutionReleaseByProjectVersionRequest(const DWORD r, const DWORD id,
                                                       const std::string& solution,
                                                       const std::string& projectVersion,
                                                       const std::string& configuration, const bool preview,
                                                       const bool uninstall) override {
        log.Record(RecordedCall("InstallSolutionReleaseByProjectVersionRequest", r, id)
                       .Text(solution)
                       .Text(projectVersion)
                       .Text(configuration)
                       .Flag(preview)
                       .Flag(uninstall));
    }
    void UpdateSolutionRequest(const DWORD r, const DWORD id, const std::string& solution,
                               const std::string& configuration) override {
        log.Record(RecordedCall("UpdateSolutionRequest", r, id).Text(solution).Text(configuration));
    }
    void ValidateSolutionRequest(const DWORD r, const DWORD id, const std::string& solution) override {
        log.Record(RecordedCall("ValidateSolutionRequest", r, id).Text(solution));
    }
    void UninstallSolutionReleaseRequest(const DWORD r, const DWORD id, const std::string& solution,
                                         const DWORD version) override {
        log.Record(RecordedCall("UninstallSolutionReleaseRequest", r, id).Text(solution).Word(version));
    }
    void CreateProcessRequest(const DWORD r, const DWORD id, const std::string& name, const DWORD version,
                              const std::string& executable, const std::string& arguments) override {
        log.Record(RecordedCall("CreateProcessRequest", r, id)
                       .Text(name)
                       .Word(version)
                       .Text(executable)
                       .Text(arguments));
    }
    void SetLogParametersRequest(const DWORD r, const DWORD id, const UINT parameters) override {
        log.Record(RecordedCall("SetLogParametersRequest", r, id).Word(parameters));
    }
    void LockFileRequest(const DWORD r, const DWORD id, const std::string& project, const DWORD version,
                         const std::string& path) override {
        log.Record(RecordedCall("LockFileRequest", r, id).Text(project).Word(version).Text(path));
    }
    void UnlockFileRequest(const DWORD r, const DWORD id, const DWORD handle) override {
        log.Record(RecordedCall("UnlockFileRequest", r, id).Word(handle));
    }
    void GetProjectVersionForSolutionReleaseRequest(const DWORD r, const DWORD id,
                                                    const std::string& solution,
                                                    const DWORD version) override {
        log.Record(
            RecordedCall("GetProjectVersionForSolutionReleaseRequest", r, id).Text(solution).Word(version));
    }
    void CancelRequest(const DWORD r, const DWORD id) override { log.Record({"CancelRequest", r, id}); }
    void GetQuorLibraryRequest(const DWORD r, const DWORD id) override {
        log.Record({"GetQuorLibraryRequest", r, id});
    }
};

}  // namespace QuorTest
