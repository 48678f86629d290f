#pragma once
// Quor::API::Impl::RPC::Manager: the client side of the kernel protocol. Hands out request objects
// (one factory per request type), numbers them from 0 with one counter, sends each request, and
// routes every response and progress report that its worker decodes to the request it belongs to.
//
// Threads: factories may be called from any thread; responses, progress and the callers' progress
// listeners run on the worker. Lock order: the connection manager's lock (held by the worker for a
// batch), this manager's mutex, a request's result lock; none is recursive. Cancellations send
// without this manager's mutex. When the connection ends (or the worker stops on an error) the
// packets already received are dispatched, then every outstanding request completes with E_FAIL
// and later factories return requests already complete with E_FAIL. Nothing reconnects.
// Lifetime: every request is released before the manager, the manager before its connection
// manager. Destruction stops the worker cooperatively and waits for it.
#include <condition_variable>
#include <map>
#include <memory>
#include <thread>
#include <utility>

#include "api/IConnectionManager.h"
#include "api/RPC/IManager.h"
#include "api/RequestBase.h"
#include "api/Requests.h"
#include "foundation/AnnotatedMutex.h"
#include "foundation/ThreadAnnotations.h"
#include "protocol/IOrvaneToApp.h"
#include "protocol/ToOrvaneSend.h"

namespace Quor::API::Impl::RPC {

class Manager final : public Quor::OrvaneProtocol::IOrvaneToApp, public Quor::API::RPC::IManager {
public:
    // `result` in: a failure makes an inert manager (no worker); out: S_OK or the failure.
    Manager(IConnectionManager& connection, HRESULT& result);
    ~Manager() override;
    Manager(const Manager&) = delete;
    Manager& operator=(const Manager&) = delete;

    std::shared_ptr<Quor::API::RPC::IGetVersion> CreateGetVersion(
        std::weak_ptr<Quor::API::IUpdateProgress> progress) override;
    std::shared_ptr<Quor::API::RPC::IEnumerateAvailableProjects> CreateEnumerateAvailableProjects(
        std::weak_ptr<Quor::API::IUpdateProgress> progress) override;
    std::shared_ptr<Quor::API::RPC::IEnumerateInstalledProjects> CreateEnumerateInstalledProjects(
        std::weak_ptr<Quor::API::IUpdateProgress> progress) override;
    std::shared_ptr<Quor::API::RPC::IEnumerateAvailableProjectReleases>
    CreateEnumerateAvailableProjectReleases(const std::string& project,
                                            std::weak_ptr<Quor::API::IUpdateProgress> progress) override;
    std::shared_ptr<Quor::API::RPC::IEnumerateInstalledProjectReleases>
    CreateEnumerateInstalledProjectReleases(const std::string& project,
                                            std::weak_ptr<Quor::API::IUpdateProgress> progress) override;
    std::shared_ptr<Quor::API::RPC::IInstallProjectRelease> CreateInstallProjectRelease(
        const std::string& project, const DWORD version,
        std::weak_ptr<Quor::API::IUpdateProgress> progress) override;
    std::shared_ptr<Quor::API::RPC::IUpdateProject> CreateUpdateProject(
        const std::string& project, std::weak_ptr<Quor::API::IUpdateProgress> progress) override;
    std::shared_ptr<Quor::API::RPC::IRepair> CreateRepair(
        const UINT flags, std::weak_ptr<Quor::API::IUpdateProgress> progress) override;
    std::shared_ptr<Quor::API::RPC::IValidateProject> CreateValidateProject(
        const std::string& project, std::weak_ptr<Quor::API::IUpdateProgress> progress) override;
    std::shared_ptr<Quor::API::RPC::IUninstallProjectRelease> CreateUninstallProjectRelease(
        const std::string& project, const DWORD version,
        std::weak_ptr<Quor::API::IUpdateProgress> progress) override;
    std::shared_ptr<Quor::API::RPC::IEnumerateAvailableSolutions> CreateEnumerateAvailableSolutions(
        std::weak_ptr<Quor::API::IUpdateProgress> progress) override;
    std::shared_ptr<Quor::API::RPC::IEnumerateInstalledSolutions> CreateEnumerateInstalledSolutions(
        std::weak_ptr<Quor::API::IUpdateProgress> progress) override;
    std::shared_ptr<Quor::API::RPC::IEnumerateAvailableSolutionReleases>
    CreateEnumerateAvailableSolutionReleases(const std::string& solution,
                                             std::weak_ptr<Quor::API::IUpdateProgress> progress) override;
    std::shared_ptr<Quor::API::RPC::IEnumerateInstalledSolutionReleases>
    CreateEnumerateInstalledSolutionReleases(const std::string& solution,
                                             std::weak_ptr<Quor::API::IUpdateProgress> progress) override;
    std::shared_ptr<Quor::API::RPC::IInstallSolutionRelease> CreateInstallSolutionRelease(
        const std::string& solution, const DWORD version, const std::string& configuration,
        std::weak_ptr<Quor::API::IUpdateProgress> progress) override;
    std::shared_ptr<Quor::API::RPC::IInstallSolutionReleaseByProjectVersion>
    CreateInstallSolutionReleaseByProjectVersion(const std::string& solution,
                                                 const std::string& projectVersion,
                                                 const std::string& configuration, const bool preview,
                                                 const bool uninstall,
                                                 std::weak_ptr<Quor::API::IUpdateProgress> progress) override;
    std::shared_ptr<Quor::API::RPC::IUpdateSolution> CreateUpdateSolution(
        const std::string& solution, const std::string& configuration,
        std::weak_ptr<Quor::API::IUpdateProgress> progress) override;
    std::shared_ptr<Quor::API::RPC::IValidateSolution> CreateValidateSolution(
        const std::string& solution, std::weak_ptr<Quor::API::IUpdateProgress> progress) override;
    std::shared_ptr<Quor::API::RPC::IUninstallSolutionRelease> CreateUninstallSolutionRelease(
        const std::string& solution, const DWORD version,
        std::weak_ptr<Quor::API::IUpdateProgress> progress) override;
    std::shared_ptr<Quor::API::RPC::ITerminate> CreateTerminate(
        std::weak_ptr<Quor::API::IUpdateProgress> progress) override;
    std::shared_ptr<Quor::API::RPC::ICreateProcess> CreateCreateProcess(
        const std::string& name, const DWORD version, const std::string& executable,
        const std::string& arguments, std::weak_ptr<Quor::API::IUpdateProgress> progress) override;
    std::shared_ptr<Quor::API::RPC::ISetLogParameters> CreateSetLogParameters(
        const UINT parameters, std::weak_ptr<Quor::API::IUpdateProgress> progress) override;
    std::shared_ptr<Quor::API::RPC::ILockFile> CreateLockFile(
        const std::string& project, const DWORD version, const std::string& path,
        std::weak_ptr<Quor::API::IUpdateProgress> progress) override;
    std::shared_ptr<Quor::API::RPC::IUnlockFile> CreateUnlockFile(
        const DWORD handle, std::weak_ptr<Quor::API::IUpdateProgress> progress) override;
    std::shared_ptr<Quor::API::RPC::IGetProjectVersionForSolutionRelease>
    CreateGetProjectVersionForSolutionRelease(const std::string& solution, const DWORD version,
                                              std::weak_ptr<Quor::API::IUpdateProgress> progress) override;
    std::shared_ptr<Quor::API::RPC::IGetQuorLibrary> CreateGetQuorLibrary(
        std::weak_ptr<Quor::API::IUpdateProgress> progress) override;

    void GetVersionResponse(const DWORD requester, const DWORD requestId, const DWORD version) override;
    void EnumerateAvailableProjectsResponse(const DWORD requester, const DWORD requestId, const HRESULT hr,
                                            const std::vector<std::string>& projects) override;
    void EnumerateInstalledProjectsResponse(const DWORD requester, const DWORD requestId, const HRESULT hr,
                                            const std::vector<std::string>& projects) override;
    void EnumerateAvailableProjectReleasesResponse(const DWORD requester, const DWORD requestId,
                                                   const HRESULT hr,
                                                   const std::vector<DWORD>& releases) override;
    void EnumerateInstalledProjectReleasesResponse(const DWORD requester, const DWORD requestId,
                                                   const HRESULT hr,
                                                   const std::vector<DWORD>& releases) override;
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
    void EnumerateInstalledSolutionsResponse(const DWORD requester, const DWORD requestId, const HRESULT hr,
                                             const std::vector<std::string>& solutions) override;
    void EnumerateAvailableSolutionReleasesResponse(const DWORD requester, const DWORD requestId,
                                                    const HRESULT hr,
                                                    const std::vector<DWORD>& releases) override;
    void EnumerateInstalledSolutionReleasesResponse(const DWORD requester, const DWORD requestId,
                                                    const HRESULT hr,
                                                    const std::vector<DWORD>& releases) override;
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
    void TerminateResponse(const DWORD requester, const DWORD requestId, const HRESULT hr) override;
    void CreateProcessResponse(const DWORD requester, const DWORD requestId, const HRESULT hr,
                               const DWORD processId, const DWORD threadId) override;
    void SetLogParametersResponse(const DWORD requester, const DWORD requestId, const HRESULT hr) override;
    void LockFileResponse(const DWORD requester, const DWORD requestId, const HRESULT hr,
                          const std::string& fileName, const DWORD offset, const DWORD size,
                          const DWORD handle) override;
    void UnlockFileResponse(const DWORD requester, const DWORD requestId, const HRESULT hr) override;
    void GetProjectVersionForSolutionReleaseResponse(const DWORD requester, const DWORD requestId,
                                                     const std::string& projectVersion) override;
    void GetQuorLibraryResponse(const DWORD requester, const DWORD requestId, const HRESULT hr,
                                const std::string& path) override;
    void RequestProgress(const DWORD requester, const DWORD requestId, const DWORD counter1,
                         const DWORD counter2, const DWORD counter3, const DWORD counter4,
                         const DWORD bytesDownloaded, const DWORD bytesToDownload,
                         const Quor::API::Progress::OperationType operationType,
                         const Quor::API::Progress::StepType stepType, const float elapsedSeconds,
                         const float remainingSeconds, const std::string& currentItem) override;

    // The live request with this id, of any type; empty when none. Manager mutex held by the caller.
    std::shared_ptr<Base> FindByRequestId(const DWORD requestId) REQUIRES(m_Mutex);
    // Sends a Cancel for the id, without the manager mutex; the outcome is not reported.
    void SendCancel(const DWORD requestId) EXCLUDES(m_Mutex);

private:
    // Passes packets on to the connection manager and keeps the result of the last one.
    class CheckedTransport final : public Quor::OrvaneProtocol::ISendPacket {
    public:
        explicit CheckedTransport(IConnectionManager& connection) : m_Connection(connection) {}
        HRESULT SendPacket(const DWORD connection, const UINT size, const BYTE* const data) override {
            m_Last = m_Connection.SendPacket(connection, size, data);
            return m_Last;
        }
        HRESULT TakeLast() { return std::exchange(m_Last, S_OK); }

    private:
        IConnectionManager& m_Connection;
        HRESULT m_Last = S_OK;
    };
    struct Entry {
        DWORD type;
        std::weak_ptr<Base> request;
    };

    template <class Request, class SendRequest>
    std::shared_ptr<Request> Create(DWORD type, std::weak_ptr<Quor::API::IUpdateProgress> progress,
                                    SendRequest&& send) EXCLUDES(m_Mutex);
    template <class Request, class Store>
    void Deliver(const char* tag, DWORD type, DWORD requestId, const char* untracked, Store&& store)
        EXCLUDES(m_Mutex);
    void ThreadProc() EXCLUDES(m_Mutex, m_WorkerMutex);
    void DispatchPackets() EXCLUDES(m_Mutex);
    // Completes every outstanding request with `hr`; later factories fail at once.
    void FailOutstanding(HRESULT hr) EXCLUDES(m_Mutex);

    IConnectionManager& m_Connection;
    Vorn::AnnotatedMutex m_Mutex;
    std::map<DWORD, Entry> m_Requests GUARDED_BY(m_Mutex);
    bool m_Disconnected GUARDED_BY(m_Mutex) = false;
    DWORD m_NextId GUARDED_BY(m_Mutex) = 0;
    CheckedTransport m_FactoryTransport GUARDED_BY(m_Mutex);
    Quor::OrvaneProtocol::ToOrvane::Send m_Sender GUARDED_BY(m_Mutex);  // factories
    Quor::OrvaneProtocol::ToOrvane::Send m_CancelSender;                // cancellations, without m_Mutex
    std::shared_ptr<Vorn::EventMultiWaitable> m_Terminate;
    Vorn::AnnotatedMutex m_WorkerMutex;
    std::condition_variable m_WorkerEnded;
    bool m_WorkerDone GUARDED_BY(m_WorkerMutex) = false;
    std::thread m_Worker;
};

}  // namespace Quor::API::Impl::RPC
