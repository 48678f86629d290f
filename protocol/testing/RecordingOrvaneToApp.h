#pragma once
// Test double of the client side of the protocol: records every response and progress report it
// receives as a RecordedCall (result in `hr`, words in `words`, string arrays in `list`, version
// lists in `versions`, progress times in `floats`; RequestProgress's operation and step types are
// its 7th and 8th word). Any thread may call it.
#include "protocol/IOrvaneToApp.h"
#include "protocol/testing/RecordedCall.h"

namespace QuorTest {

class RecordingOrvaneToApp final : public Quor::OrvaneProtocol::IOrvaneToApp {
public:
    CallLog log;

    void GetVersionResponse(const DWORD r, const DWORD id, const DWORD version) override {
        log.Record(RecordedCall("GetVersionResponse", r, id).Word(version));
    }
    void TerminateResponse(const DWORD r, const DWORD id, const HRESULT hr) override {
        log.Record(RecordedCall("TerminateResponse", r, id).Result(hr));
    }
    void EnumerateAvailableProjectsResponse(const DWORD r, const DWORD id, const HRESULT hr,
                                            const std::vector<std::string>& names) override {
        log.Record(RecordedCall("EnumerateAvailableProjectsResponse", r, id).Result(hr).List(names));
    }
    void EnumerateAvailableProjectReleasesResponse(const DWORD r, const DWORD id, const HRESULT hr,
                                                   const std::vector<DWORD>& versions) override {
        log.Record(
            RecordedCall("EnumerateAvailableProjectReleasesResponse", r, id).Result(hr).Versions(versions));
    }
    void EnumerateInstalledProjectsResponse(const DWORD r, const DWORD id, const HRESULT hr,
                                            const std::vector<std::string>& names) override {
        log.Record(RecordedCall("EnumerateInstalledProjectsResponse", r, id).Result(hr).List(names));
    }
    void EnumerateInstalledProjectReleasesResponse(const DWORD r, const DWORD id, const HRESULT hr,
                                                   const std::vector<DWORD>& versions) override {
        log.Record(
            RecordedCall("EnumerateInstalledProjectReleasesResponse", r, id).Result(hr).Versions(versions));
    }
    void InstallProjectReleaseResponse(const DWORD r, const DWORD id, const HRESULT hr) override {
        log.Record(RecordedCall("InstallProjectReleaseResponse", r, id).Result(hr));
    }
    void UpdateProjectResponse(const DWORD r, const DWORD id, const HRESULT hr,
                               const DWORD version) override {
        log.Record(RecordedCall("UpdateProjectResponse", r, id).Result(hr).Word(version));
    }
    void RepairResponse(const DWORD r, const DWORD id, const HRESULT hr) override {
        log.Record(RecordedCall("RepairResponse", r, id).Result(hr));
    }
    void ValidateProjectResponse(const DWORD r, const DWORD id, const HRESULT hr) override {
        log.Record(RecordedCall("ValidateProjectResponse", r, id).Result(hr));
    }
    void UninstallProjectReleaseResponse(const DWORD r, const DWORD id, const HRESULT hr) override {
        log.Record(RecordedCall("UninstallProjectReleaseResponse", r, id).Result(hr));
    }
    void EnumerateAvailableSolutionsResponse(const DWORD r, const DWORD id, const HRESULT hr,
                                             const std::vector<std::string>& names) override {
        log.Record(RecordedCall("EnumerateAvailableSolutionsResponse", r, id).Result(hr).List(names));
    }
    void EnumerateAvailableSolutionReleasesResponse(const DWORD r, const DWORD id, const HRESULT hr,
                                                    const std::vector<DWORD>& versions) override {
        log.Record(
            RecordedCall("EnumerateAvailableSolutionReleasesResponse", r, id).Result(hr).Versions(versions));
    }
    void EnumerateInstalledSolutionsResponse(const DWORD r, const DWORD id, const HRESULT hr,
                                             const std::vector<std::string>& names) override {
        log.Record(RecordedCall("EnumerateInstalledSolutionsResponse", r, id).Result(hr).List(names));
    }
    void EnumerateInstalledSolutionReleasesResponse(const DWORD r, const DWORD id, const HRESULT hr,
                                                    const std::vector<DWORD>& versions) override {
        log.Record(
            RecordedCall("EnumerateInstalledSolutionReleasesResponse", r, id).Result(hr).Versions(versions));
    }
    void InstallSolutionReleaseResponse(const DWORD r, const DWORD id, const HRESULT hr,
                                        const DWORD version) override {
        log.Record(RecordedCall("InstallSolutionReleaseResponse", r, id).Result(hr).Word(version));
    }
    void InstallSolutionReleaseByProjectVersionResponse(const DWORD r, const DWORD id, const HRESULT hr,
                                                        const DWORD version,
                                                        const std::string& response) override {
        log.Record(RecordedCall("InstallSolutionReleaseByProjectVersionResponse", r, id)
                       .Result(hr)
                       .Word(version)
                       .Text(response));
    }
    void UpdateSolutionResponse(const DWORD r, const DWORD id, const HRESULT hr,
                                const DWORD version) override {
        log.Record(RecordedCall("UpdateSolutionResponse", r, id).Result(hr).Word(version));
    }
    void ValidateSolutionResponse(const DWORD r, const DWORD id, const HRESULT hr) override {
        log.Record(RecordedCall("ValidateSolutionResponse", r, id).Result(hr));
    }
    void UninstallSolutionReleaseResponse(const DWORD r, const DWORD id, const HRESULT hr) override {
        log.Record(RecordedCall("UninstallSolutionReleaseResponse", r, id).Result(hr));
    }
    void CreateProcessResponse(const DWORD r, const DWORD id, const HRESULT hr, const DWORD processId,
                               const DWORD threadId) override {
        log.Record(RecordedCall("CreateProcessResponse", r, id).Result(hr).Word(processId).Word(threadId));
    }
    void SetLogParametersResponse(const DWORD r, const DWORD id, const HRESULT hr) override {
        log.Record(RecordedCall("SetLogParametersResponse", r, id).Result(hr));
    }
    void LockFileResponse(const DWORD r, const DWORD id, const HRESULT hr, const std::string& fileName,
                          const DWORD offset, const DWORD size, const DWORD handle) override {
        log.Record(RecordedCall("LockFileResponse", r, id)
                       .Result(hr)
                       .Text(fileName)
                       .Word(offset)
                       .Word(size)
                       .Word(handle));
    }
    void UnlockFileResponse(const DWORD r, const DWORD id, const HRESULT hr) override {
        log.Record(RecordedCall("UnlockFileResponse", r, id).Result(hr));
    }
    void GetProjectVersionForSolutionReleaseResponse(const DWORD r, const DWORD id,
                                                     const std::string& projectVersion) override {
        log.Record(RecordedCall("GetProjectVersionForSolutionReleaseResponse", r, id).Text(projectVersion));
    }
    void RequestProgress(const DWORD r, const DWORD id, const DWORD c1, const DWORD c2, const DWORD c3,
                         const DWORD c4, const DWORD bytesDownloaded, const DWORD bytesToDownload,
                         const Quor::API::Progress::OperationType operationType,
                         const Quor::API::Progress::StepType stepType, const float elapsed,
                         const float remaining, const std::string& item) override {
        log.Record(RecordedCall("RequestProgress", r, id)
                       .Word(c1)
                       .Word(c2)
                       .Word(c3)
                       .Word(c4)
                       .Word(bytesDownloaded)
                       .Word(bytesToDownload)
                       .Word(operationType)
                       .Word(stepType)
                       .Float(elapsed)
                       .Float(remaining)
                       .Text(item));
    }
    void GetQuorLibraryResponse(const DWORD r, const DWORD id, const HRESULT hr,
                                const std::string& path) override {
        log.Record(RecordedCall("GetQuorLibraryResponse", r, id).Result(hr).Text(path));
    }
};

}  // namespace QuorTest
