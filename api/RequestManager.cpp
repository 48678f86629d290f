#include "api/RequestManager.h"

#include <chrono>

#include "common/Log.h"
#include "foundation/WaitForMultipleEvents.h"
#include "foundation/WaitResult.h"
#include "protocol/ToAppDispatch.h"

namespace Quor::API::Impl::RPC {

namespace ToOrvane = Quor::OrvaneProtocol::ToOrvane;
using Quor::Log::ERROR;
using Quor::Log::VERBOSE;
using Quor::Log::WARNING;

namespace {
const char* const kUntracked = "Received response to request no longer being tracked by API";
const char* const kUntrackedShort = "Received response for request no longer being tracked";
constexpr DWORD kGetQuorLibraryType = 26;
}  // namespace

Manager::Manager(IConnectionManager& connection, HRESULT& result)
    : m_Connection(connection),
      m_FactoryTransport(connection),
      m_Sender(m_FactoryTransport),
      m_CancelSender(connection) {
    QUOR_LOG(VERBOSE, "()");
    if (FAILED(result)) return;
    m_Terminate = Vorn::EventMultiWaitable::Create(true, false);
    try {
        m_Worker = std::thread([this] { ThreadProc(); });
    } catch (const std::system_error& e) {
        QUOR_LOG(ERROR, "Failed to create thread.");
        result = E_FAIL;
        return;
    }
    result = S_OK;
}

Manager::~Manager() {
    QUOR_LOG(VERBOSE, "()");
    if (!m_Worker.joinable()) return;
    if (!m_Terminate->Set()) QUOR_LOG(ERROR, "Failed to set event needed to terminate thread.");
    {
        Vorn::AnnotatedUniqueLock lock(m_WorkerMutex);
        if (!m_WorkerEnded.wait_for(lock.ForWait(), std::chrono::milliseconds(1000),
                                    [&]() REQUIRES(m_WorkerMutex) { return m_WorkerDone; }))
            QUOR_LOG(
                ERROR,
                "Thread did not terminate within 1000 ms (a progress listener still runs); waiting for it.");
    }
    m_Worker.join();
}

template <class Request, class SendRequest>
std::shared_ptr<Request> Manager::Create(DWORD type, std::weak_ptr<Quor::API::IUpdateProgress> progress,
                                         SendRequest&& send) {
    Vorn::AnnotatedLockGuard lock(m_Mutex);
    const DWORD id = m_NextId++;
    auto request = std::make_shared<Request>(*this, id, std::move(progress));
    if (m_Disconnected || !m_Worker.joinable()) {
        QUOR_LOG(ERROR, "Not connected to the kernel: request 0x%08x of type %u fails.", id, type);
        request->Fail(E_FAIL);
        return request;
    }
    m_Requests[id] = Entry{type, request};
    send(m_Sender, id);
    if (FAILED(m_FactoryTransport.TakeLast())) {
        QUOR_LOG(ERROR, "Request 0x%08x of type %u could not be sent.", id, type);
        m_Requests.erase(id);
        request->Fail(E_FAIL);
    }
    return request;
}

template <class Request, class Store>
void Manager::Deliver(const char* tag, DWORD type, DWORD requestId, const char* untracked, Store&& store) {
    Vorn::AnnotatedLockGuard lock(m_Mutex);
    const auto it = m_Requests.find(requestId);
    if (it == m_Requests.end() || it->second.type != type) {
        QUOR_LOG_TAG(ERROR, tag, "Unknown requestId");
        return;
    }
    if (const auto base = it->second.request.lock()) {
        const HRESULT hr = store(static_cast<Request&>(*base));
        if (FAILED(hr)) {
            if (type == kGetQuorLibraryType)
                QUOR_LOG_TAG(ERROR, tag, "OnResponse failed: 0x%08x", hr);
            else
                QUOR_LOG_TAG(ERROR, tag, "OnResponse failed");
        }
    } else {
        QUOR_LOG_TAG(VERBOSE, tag, "%s", untracked);
    }
    m_Requests.erase(it);
}

std::shared_ptr<Base> Manager::FindByRequestId(const DWORD requestId) {
    const auto it = m_Requests.find(requestId);
    if (it == m_Requests.end()) {
        QUOR_LOG(WARNING, "Not found");
        return nullptr;
    }
    return it->second.request.lock();
}

void Manager::SendCancel(const DWORD requestId) {
    m_CancelSender.CancelRequest(0, requestId);
}

void Manager::RequestProgress(const DWORD requester, const DWORD requestId, const DWORD counter1,
                              const DWORD counter2, const DWORD counter3, const DWORD counter4,
                              const DWORD bytesDownloaded, const DWORD bytesToDownload,
                              const Quor::API::Progress::OperationType operationType,
                              const Quor::API::Progress::StepType stepType, const float elapsedSeconds,
                              const float remainingSeconds, const std::string& currentItem) {
    QUOR_LOG(VERBOSE, "(%d, %d)", requester, requestId);
    Vorn::AnnotatedLockGuard lock(m_Mutex);
    const auto request = FindByRequestId(requestId);
    if (!request) {
        QUOR_LOG(WARNING, "Unknown request");
        return;
    }
    request->UpdateProgress(counter1, counter2, counter3, counter4, bytesDownloaded, bytesToDownload,
                            operationType, stepType, elapsedSeconds, remainingSeconds, currentItem);
}

void Manager::ThreadProc() {
    QUOR_LOG(VERBOSE, "()");
    const std::shared_ptr<Vorn::EventMultiWaitable> events[2] = {m_Terminate, m_Connection.GetEvent()};
    for (;;) {
        QUOR_LOG(VERBOSE, "Going to sleep waiting for packets.");
        const DWORD wait = Vorn::WaitForMultipleEvents(2, events, false, Vorn::INFINITE);
        if (wait == Vorn::WAIT_OBJECT_0) {
            QUOR_LOG(VERBOSE, "Terminate event signaled.");
            break;
        }
        if (wait == Vorn::WAIT_OBJECT_0 + 1) {
            QUOR_LOG(VERBOSE, "Woken up due to incoming packets.");
            DispatchPackets();
            continue;
        }
        if (wait == Vorn::WAIT_NONE_SIGNALLED) continue;
        if (wait == Vorn::WAIT_TIMEOUT)
            QUOR_LOG(ERROR, "WaitForMultipleObjects returned WAIT_TIMEOUT.");
        else
            QUOR_LOG(ERROR, "Unexpected object signaled.");
        // Nothing would deliver responses any more: fail what waits for one.
        FailOutstanding(E_FAIL);
        break;
    }
    QUOR_LOG(VERBOSE, "Terminating (Thread ID: 0x%08lx).", static_cast<unsigned long>(gettid()));
    {
        Vorn::AnnotatedLockGuard lock(m_WorkerMutex);
        m_WorkerDone = true;
    }
    m_WorkerEnded.notify_all();
}

void Manager::DispatchPackets() {
    const auto lock = m_Connection.GetAutoLock();
    std::vector<PACKET>& packets = lock->GetPackets();
    for (const PACKET& packet : packets) {
        if (FAILED(Quor::OrvaneProtocol::ToApp::TranslateAndDispatch(packet.connection, packet.size,
                                                                     packet.data.get(), *this)))
            QUOR_LOG(ERROR, "TranslateAndDispatch failed.");
    }
    packets.clear();
    if (lock->IsClosed()) FailOutstanding(E_FAIL);
}

void Manager::FailOutstanding(HRESULT hr) {
    Vorn::AnnotatedLockGuard lock(m_Mutex);
    if (!m_Disconnected) {
        if (m_Requests.empty())
            QUOR_LOG(WARNING, "The connection to the kernel has ended.");
        else
            QUOR_LOG(ERROR, "The connection to the kernel has ended; %zu outstanding requests fail.",
                     m_Requests.size());
    }
    m_Disconnected = true;
    std::map<DWORD, Entry> outstanding;
    outstanding.swap(m_Requests);
    for (auto& [id, entry] : outstanding)
        if (const auto request = entry.request.lock()) request->Fail(hr);
}

std::shared_ptr<Quor::API::RPC::IGetVersion> Manager::CreateGetVersion(
    std::weak_ptr<Quor::API::IUpdateProgress> progress) {
    return Create<GetVersion>(0, std::move(progress),
                              [&](ToOrvane::Send& send, DWORD id) { send.GetVersionRequest(0, id); });
}

std::shared_ptr<Quor::API::RPC::IEnumerateAvailableProjects> Manager::CreateEnumerateAvailableProjects(
    std::weak_ptr<Quor::API::IUpdateProgress> progress) {
    return Create<EnumerateAvailableProjects>(2, std::move(progress), [&](ToOrvane::Send& send, DWORD id) {
        send.EnumerateAvailableProjectsRequest(0, id);
    });
}

std::shared_ptr<Quor::API::RPC::IEnumerateInstalledProjects> Manager::CreateEnumerateInstalledProjects(
    std::weak_ptr<Quor::API::IUpdateProgress> progress) {
    return Create<EnumerateInstalledProjects>(3, std::move(progress), [&](ToOrvane::Send& send, DWORD id) {
        send.EnumerateInstalledProjectsRequest(0, id);
    });
}

std::shared_ptr<Quor::API::RPC::IEnumerateAvailableProjectReleases>
Manager::CreateEnumerateAvailableProjectReleases(const std::string& project,
                                                 std::weak_ptr<Quor::API::IUpdateProgress> progress) {
    return Create<EnumerateAvailableProjectReleases>(
        4, std::move(progress), [&](ToOrvane::Send& send, DWORD id) {
            send.EnumerateAvailableProjectReleasesRequest(0, id, project);
        });
}

std::shared_ptr<Quor::API::RPC::IEnumerateInstalledProjectReleases>
Manager::CreateEnumerateInstalledProjectReleases(const std::string& project,
                                                 std::weak_ptr<Quor::API::IUpdateProgress> progress) {
    return Create<EnumerateInstalledProjectReleases>(
        5, std::move(progress), [&](ToOrvane::Send& send, DWORD id) {
            send.EnumerateInstalledProjectReleasesRequest(0, id, project);
        });
}

std::shared_ptr<Quor::API::RPC::IInstallProjectRelease> Manager::CreateInstallProjectRelease(
    const std::string& project, const DWORD version, std::weak_ptr<Quor::API::IUpdateProgress> progress) {
    return Create<InstallProjectRelease>(6, std::move(progress), [&](ToOrvane::Send& send, DWORD id) {
        send.InstallProjectReleaseRequest(0, id, project, version);
    });
}

std::shared_ptr<Quor::API::RPC::IUpdateProject> Manager::CreateUpdateProject(
    const std::string& project, std::weak_ptr<Quor::API::IUpdateProgress> progress) {
    return Create<UpdateProject>(7, std::move(progress), [&](ToOrvane::Send& send, DWORD id) {
        send.UpdateProjectRequest(0, id, project);
    });
}

std::shared_ptr<Quor::API::RPC::IRepair> Manager::CreateRepair(
    const UINT flags, std::weak_ptr<Quor::API::IUpdateProgress> progress) {
    return Create<Repair>(23, std::move(progress),
                          [&](ToOrvane::Send& send, DWORD id) { send.RepairRequest(0, id, flags); });
}

std::shared_ptr<Quor::API::RPC::IValidateProject> Manager::CreateValidateProject(
    const std::string& project, std::weak_ptr<Quor::API::IUpdateProgress> progress) {
    return Create<ValidateProject>(8, std::move(progress), [&](ToOrvane::Send& send, DWORD id) {
        send.ValidateProjectRequest(0, id, project);
    });
}

std::shared_ptr<Quor::API::RPC::IUninstallProjectRelease> Manager::CreateUninstallProjectRelease(
    const std::string& project, const DWORD version, std::weak_ptr<Quor::API::IUpdateProgress> progress) {
    return Create<UninstallProjectRelease>(9, std::move(progress), [&](ToOrvane::Send& send, DWORD id) {
        send.UninstallProjectReleaseRequest(0, id, project, version);
    });
}

std::shared_ptr<Quor::API::RPC::IEnumerateAvailableSolutions> Manager::CreateEnumerateAvailableSolutions(
    std::weak_ptr<Quor::API::IUpdateProgress> progress) {
    return Create<EnumerateAvailableSolutions>(10, std::move(progress), [&](ToOrvane::Send& send, DWORD id) {
        send.EnumerateAvailableSolutionsRequest(0, id);
    });
}

std::shared_ptr<Quor::API::RPC::IEnumerateInstalledSolutions> Manager::CreateEnumerateInstalledSolutions(
    std::weak_ptr<Quor::API::IUpdateProgress> progress) {
    return Create<EnumerateInstalledSolutions>(11, std::move(progress), [&](ToOrvane::Send& send, DWORD id) {
        send.EnumerateInstalledSolutionsRequest(0, id);
    });
}

std::shared_ptr<Quor::API::RPC::IEnumerateAvailableSolutionReleases>
Manager::CreateEnumerateAvailableSolutionReleases(const std::string& solution,
                                                  std::weak_ptr<Quor::API::IUpdateProgress> progress) {
    return Create<EnumerateAvailableSolutionReleases>(
        12, std::move(progress), [&](ToOrvane::Send& send, DWORD id) {
            send.EnumerateAvailableSolutionReleasesRequest(0, id, solution);
        });
}

std::shared_ptr<Quor::API::RPC::IEnumerateInstalledSolutionReleases>
Manager::CreateEnumerateInstalledSolutionReleases(const std::string& solution,
                                                  std::weak_ptr<Quor::API::IUpdateProgress> progress) {
    return Create<EnumerateInstalledSolutionReleases>(
        13, std::move(progress), [&](ToOrvane::Send& send, DWORD id) {
            send.EnumerateInstalledSolutionReleasesRequest(0, id, solution);
        });
}

std::shared_ptr<Quor::API::RPC::IInstallSolutionRelease> Manager::CreateInstallSolutionRelease(
    const std::string& solution, const DWORD version, const std::string& configuration,
    std::weak_ptr<Quor::API::IUpdateProgress> progress) {
    return Create<InstallSolutionRelease>(14, std::move(progress), [&](ToOrvane::Send& send, DWORD id) {
        send.InstallSolutionReleaseRequest(0, id, solution, version, configuration);
    });
}

std::shared_ptr<Quor::API::RPC::IInstallSolutionReleaseByProjectVersion>
Manager::CreateInstallSolutionReleaseByProjectVersion(const std::string& solution,
                                                      const std::string& projectVersion,
                                                      const std::string& configuration, const bool preview,
                                                      const bool uninstall,
                                                      std::weak_ptr<Quor::API::IUpdateProgress> progress) {
    return Create<InstallSolutionReleaseByProjectVersion>(
        24, std::move(progress), [&](ToOrvane::Send& send, DWORD id) {
            send.InstallSolutionReleaseByProjectVersionRequest(0, id, solution, projectVersion, configuration,
                                                               preview, uninstall);
        });
}

std::shared_ptr<Quor::API::RPC::IUpdateSolution> Manager::CreateUpdateSolution(
    const std::string& solution, const std::string& configuration,
    std::weak_ptr<Quor::API::IUpdateProgress> progress) {
    return Create<UpdateSolution>(15, std::move(progress), [&](ToOrvane::Send& send, DWORD id) {
        send.UpdateSolutionRequest(0, id, solution, configuration);
    });
}

std::shared_ptr<Quor::API::RPC::IValidateSolution> Manager::CreateValidateSolution(
    const std::string& solution, std::weak_ptr<Quor::API::IUpdateProgress> progress) {
    return Create<ValidateSolution>(16, std::move(progress), [&](ToOrvane::Send& send, DWORD id) {
        send.ValidateSolutionRequest(0, id, solution);
    });
}

std::shared_ptr<Quor::API::RPC::IUninstallSolutionRelease> Manager::CreateUninstallSolutionRelease(
    const std::string& solution, const DWORD version, std::weak_ptr<Quor::API::IUpdateProgress> progress) {
    return Create<UninstallSolutionRelease>(17, std::move(progress), [&](ToOrvane::Send& send, DWORD id) {
        send.UninstallSolutionReleaseRequest(0, id, solution, version);
    });
}

std::shared_ptr<Quor::API::RPC::ITerminate> Manager::CreateTerminate(
    std::weak_ptr<Quor::API::IUpdateProgress> progress) {
    return Create<Terminate>(1, std::move(progress),
                             [&](ToOrvane::Send& send, DWORD id) { send.TerminateRequest(0, id); });
}

std::shared_ptr<Quor::API::RPC::ICreateProcess> Manager::CreateCreateProcess(
    const std::string& name, const DWORD version, const std::string& executable, const std::string& arguments,
    std::weak_ptr<Quor::API::IUpdateProgress> progress) {
    return Create<CreateProcess>(18, std::move(progress), [&](ToOrvane::Send& send, DWORD id) {
        send.CreateProcessRequest(0, id, name, version, executable, arguments);
    });
}

std::shared_ptr<Quor::API::RPC::ISetLogParameters> Manager::CreateSetLogParameters(
    const UINT parameters, std::weak_ptr<Quor::API::IUpdateProgress> progress) {
    return Create<SetLogParameters>(19, std::move(progress), [&](ToOrvane::Send& send, DWORD id) {
        send.SetLogParametersRequest(0, id, parameters);
    });
}

std::shared_ptr<Quor::API::RPC::ILockFile> Manager::CreateLockFile(
    const std::string& project, const DWORD version, const std::string& path,
    std::weak_ptr<Quor::API::IUpdateProgress> progress) {
    return Create<LockFile>(20, std::move(progress), [&](ToOrvane::Send& send, DWORD id) {
        send.LockFileRequest(0, id, project, version, path);
    });
}

std::shared_ptr<Quor::API::RPC::IUnlockFile> Manager::CreateUnlockFile(
    const DWORD handle, std::weak_ptr<Quor::API::IUpdateProgress> progress) {
    return Create<UnlockFile>(21, std::move(progress),
                              [&](ToOrvane::Send& send, DWORD id) { send.UnlockFileRequest(0, id, handle); });
}

std::shared_ptr<Quor::API::RPC::IGetProjectVersionForSolutionRelease>
Manager::CreateGetProjectVersionForSolutionRelease(const std::string& solution, const DWORD version,
                                                   std::weak_ptr<Quor::API::IUpdateProgress> progress) {
    return Create<GetProjectVersionForSolutionRelease>(
        25, std::move(progress), [&](ToOrvane::Send& send, DWORD id) {
            send.GetProjectVersionForSolutionReleaseRequest(0, id, solution, version);
        });
}

std::shared_ptr<Quor::API::RPC::IGetQuorLibrary> Manager::CreateGetQuorLibrary(
    std::weak_ptr<Quor::API::IUpdateProgress> progress) {
    return Create<GetQuorLibrary>(26, std::move(progress),
                                  [&](ToOrvane::Send& send, DWORD id) { send.GetQuorLibraryRequest(0, id); });
}

void Manager::GetVersionResponse(const DWORD requester, const DWORD requestId, const DWORD version) {
    QUOR_LOG(VERBOSE, "(%d, %d, %d)", requester, requestId, version);
    Deliver<GetVersion>(__PRETTY_FUNCTION__, 0, requestId, kUntracked,
                        [&](GetVersion& request) { return request.OnResponse(version); });
}

void Manager::EnumerateAvailableProjectsResponse(const DWORD requester, const DWORD requestId,
                                                 const HRESULT hr, const std::vector<std::string>& projects) {
    QUOR_LOG(VERBOSE, "(%d, %d)", requester, requestId);
    Deliver<EnumerateAvailableProjects>(
        __PRETTY_FUNCTION__, 2, requestId, kUntracked,
        [&](EnumerateAvailableProjects& request) { return request.OnResponse(hr, projects); });
}

void Manager::EnumerateInstalledProjectsResponse(const DWORD requester, const DWORD requestId,
                                                 const HRESULT hr, const std::vector<std::string>& projects) {
    QUOR_LOG(VERBOSE, "(%d, %d)", requester, requestId);
    Deliver<EnumerateInstalledProjects>(
        __PRETTY_FUNCTION__, 3, requestId, kUntracked,
        [&](EnumerateInstalledProjects& request) { return request.OnResponse(hr, projects); });
}

void Manager::EnumerateAvailableProjectReleasesResponse(const DWORD requester, const DWORD requestId,
                                                        const HRESULT hr,
                                                        const std::vector<DWORD>& releases) {
    QUOR_LOG(VERBOSE, "(%d, %d)", requester, requestId);
    Deliver<EnumerateAvailableProjectReleases>(
        __PRETTY_FUNCTION__, 4, requestId, kUntracked,
        [&](EnumerateAvailableProjectReleases& request) { return request.OnResponse(hr, releases); });
}

void Manager::EnumerateInstalledProjectReleasesResponse(const DWORD requester, const DWORD requestId,
                                                        const HRESULT hr,
                                                        const std::vector<DWORD>& releases) {
    QUOR_LOG(VERBOSE, "(%d, %d)", requester, requestId);
    Deliver<EnumerateInstalledProjectReleases>(
        __PRETTY_FUNCTION__, 5, requestId, kUntracked,
        [&](EnumerateInstalledProjectReleases& request) { return request.OnResponse(hr, releases); });
}

void Manager::InstallProjectReleaseResponse(const DWORD requester, const DWORD requestId, const HRESULT hr) {
    QUOR_LOG(VERBOSE, "(%d, %d)", requester, requestId);
    Deliver<InstallProjectRelease>(__PRETTY_FUNCTION__, 6, requestId, kUntracked,
                                   [&](InstallProjectRelease& request) { return request.OnResponse(hr); });
}

void Manager::UpdateProjectResponse(const DWORD requester, const DWORD requestId, const HRESULT hr,
                                    const DWORD version) {
    QUOR_LOG(VERBOSE, "(%d, %d)", requester, requestId);
    Deliver<UpdateProject>(__PRETTY_FUNCTION__, 7, requestId, kUntracked,
                           [&](UpdateProject& request) { return request.OnResponse(hr, version); });
}

void Manager::RepairResponse(const DWORD requester, const DWORD requestId, const HRESULT hr) {
    QUOR_LOG(VERBOSE, "(%d, %d)", requester, requestId);
    Deliver<Repair>(__PRETTY_FUNCTION__, 23, requestId, kUntracked,
                    [&](Repair& request) { return request.OnResponse(hr); });
}

void Manager::ValidateProjectResponse(const DWORD requester, const DWORD requestId, const HRESULT hr) {
    QUOR_LOG(VERBOSE, "(%d, %d)", requester, requestId);
    Deliver<ValidateProject>(__PRETTY_FUNCTION__, 8, requestId, kUntracked,
                             [&](ValidateProject& request) { return request.OnResponse(hr); });
}

void Manager::UninstallProjectReleaseResponse(const DWORD requester, const DWORD requestId,
                                              const HRESULT hr) {
    QUOR_LOG(VERBOSE, "(%d, %d)", requester, requestId);
    Deliver<UninstallProjectRelease>(
        __PRETTY_FUNCTION__, 9, requestId, kUntracked,
        [&](UninstallProjectRelease& request) { return request.OnResponse(hr); });
}

void Manager::EnumerateAvailableSolutionsResponse(const DWORD requester, const DWORD requestId,
                                                  const HRESULT hr,
                                                  const std::vector<std::string>& solutions) {
    QUOR_LOG(VERBOSE, "(%d, %d)", requester, requestId);
    Deliver<EnumerateAvailableSolutions>(
        __PRETTY_FUNCTION__, 10, requestId, kUntracked,
        [&](EnumerateAvailableSolutions& request) { return request.OnResponse(hr, solutions); });
}

void Manager::EnumerateInstalledSolutionsResponse(const DWORD requester, const DWORD requestId,
                                                  const HRESULT hr,
                                                  const std::vector<std::string>& solutions) {
    QUOR_LOG(VERBOSE, "(%d, %d)", requester, requestId);
    Deliver<EnumerateInstalledSolutions>(
        __PRETTY_FUNCTION__, 11, requestId, kUntracked,
        [&](EnumerateInstalledSolutions& request) { return request.OnResponse(hr, solutions); });
}

void Manager::EnumerateAvailableSolutionReleasesResponse(const DWORD requester, const DWORD requestId,
                                                         const HRESULT hr,
                                                         const std::vector<DWORD>& releases) {
    QUOR_LOG(VERBOSE, "(%d, %d)", requester, requestId);
    Deliver<EnumerateAvailableSolutionReleases>(
        __PRETTY_FUNCTION__, 12, requestId, kUntracked,
        [&](EnumerateAvailableSolutionReleases& request) { return request.OnResponse(hr, releases); });
}

void Manager::EnumerateInstalledSolutionReleasesResponse(const DWORD requester, const DWORD requestId,
                                                         const HRESULT hr,
                                                         const std::vector<DWORD>& releases) {
    QUOR_LOG(VERBOSE, "(%d, %d)", requester, requestId);
    Deliver<EnumerateInstalledSolutionReleases>(
        __PRETTY_FUNCTION__, 13, requestId, kUntracked,
        [&](EnumerateInstalledSolutionReleases& request) { return request.OnResponse(hr, releases); });
}

void Manager::InstallSolutionReleaseResponse(const DWORD requester, const DWORD requestId, const HRESULT hr,
                                             const DWORD version) {
    QUOR_LOG(VERBOSE, "(%d, %d)", requester, requestId);
    Deliver<InstallSolutionRelease>(
        __PRETTY_FUNCTION__, 14, requestId, kUntracked,
        [&](InstallSolutionRelease& request) { return request.OnResponse(hr, version); });
}

void Manager::InstallSolutionReleaseByProjectVersionResponse(const DWORD requester, const DWORD requestId,
                                                             const HRESULT hr, const DWORD version,
                                                             const std::string& response) {
    QUOR_LOG(VERBOSE, "(%d, %d)", requester, requestId);
    Deliver<InstallSolutionReleaseByProjectVersion>(__PRETTY_FUNCTION__, 24, requestId, kUntracked,
                                                    [&](InstallSolutionReleaseByProjectVersion& request) {
                                                        return request.OnResponse(hr, version, response);
                                                    });
}

void Manager::UpdateSolutionResponse(const DWORD requester, const DWORD requestId, const HRESULT hr,
                                     const DWORD version) {
    QUOR_LOG(VERBOSE, "(%d, %d)", requester, requestId);
    Deliver<UpdateSolution>(__PRETTY_FUNCTION__, 15, requestId, kUntracked,
                            [&](UpdateSolution& request) { return request.OnResponse(hr, version); });
}

void Manager::ValidateSolutionResponse(const DWORD requester, const DWORD requestId, const HRESULT hr) {
    QUOR_LOG(VERBOSE, "(%d, %d)", requester, requestId);
    Deliver<ValidateSolution>(__PRETTY_FUNCTION__, 16, requestId, kUntracked,
                              [&](ValidateSolution& request) { return request.OnResponse(hr); });
}

void Manager::UninstallSolutionReleaseResponse(const DWORD requester, const DWORD requestId,
                                               const HRESULT hr) {
    QUOR_LOG(VERBOSE, "(%d, %d)", requester, requestId);
    Deliver<UninstallSolutionRelease>(
        __PRETTY_FUNCTION__, 17, requestId, kUntracked,
        [&](UninstallSolutionRelease& request) { return request.OnResponse(hr); });
}

void Manager::TerminateResponse(const DWORD requester, const DWORD requestId, const HRESULT hr) {
    QUOR_LOG(VERBOSE, "(%d, %d)", requester, requestId);
    Deliver<Terminate>(__PRETTY_FUNCTION__, 1, requestId, kUntracked,
                       [&](Terminate& request) { return request.OnResponse(hr); });
}

void Manager::CreateProcessResponse(const DWORD requester, const DWORD requestId, const HRESULT hr,
                                    const DWORD processId, const DWORD threadId) {
    QUOR_LOG(VERBOSE, "(%d, %d)", requester, requestId);
    Deliver<CreateProcess>(__PRETTY_FUNCTION__, 18, requestId, kUntracked, [&](CreateProcess& request) {
        return request.OnResponse(hr, processId, threadId);
    });
}

void Manager::SetLogParametersResponse(const DWORD requester, const DWORD requestId, const HRESULT hr) {
    QUOR_LOG(VERBOSE, "(%d, %d)", requester, requestId);
    Deliver<SetLogParameters>(__PRETTY_FUNCTION__, 19, requestId, kUntracked,
                              [&](SetLogParameters& request) { return request.OnResponse(hr); });
}

void Manager::LockFileResponse(const DWORD requester, const DWORD requestId, const HRESULT hr,
                               const std::string& fileName, const DWORD offset, const DWORD size,
                               const DWORD handle) {
    QUOR_LOG(VERBOSE, "(%d, %d)", requester, requestId);
    Deliver<LockFile>(__PRETTY_FUNCTION__, 20, requestId, kUntrackedShort, [&](LockFile& request) {
        return request.OnResponse(hr, fileName, offset, size, handle);
    });
}

void Manager::UnlockFileResponse(const DWORD requester, const DWORD requestId, const HRESULT hr) {
    QUOR_LOG(VERBOSE, "(%d, %d)", requester, requestId);
    Deliver<UnlockFile>(__PRETTY_FUNCTION__, 21, requestId, kUntrackedShort,
                        [&](UnlockFile& request) { return request.OnResponse(hr); });
}

void Manager::GetProjectVersionForSolutionReleaseResponse(const DWORD requester, const DWORD requestId,
                                                          const std::string& projectVersion) {
    QUOR_LOG(VERBOSE, "(%d, %d, %s)", requester, requestId, projectVersion.c_str());
    Deliver<GetProjectVersionForSolutionRelease>(
        __PRETTY_FUNCTION__, 25, requestId, kUntrackedShort,
        [&](GetProjectVersionForSolutionRelease& request) { return request.OnResponse(projectVersion); });
}

void Manager::GetQuorLibraryResponse(const DWORD requester, const DWORD requestId, const HRESULT hr,
                                     const std::string& path) {
    QUOR_LOG(VERBOSE, "(from=%d, requestId=%d)", requester, requestId);
    Deliver<GetQuorLibrary>(__PRETTY_FUNCTION__, 26, requestId, kUntrackedShort,
                            [&](GetQuorLibrary& request) { return request.OnResponse(hr, path); });
}

}  // namespace Quor::API::Impl::RPC
