#include "api/RequestManager.h"

#include <chrono>

#include "common/Log.h"
#include "foundation/WaitForMultipleEvents.h"
#include "foundation/WaitResult.h"
#include "protocol/PacketType.h"
#include "protocol/ToAppDispatch.h"

namespace Quor::API::Impl::RPC {

namespace ToOrvane = Quor::OrvaneProtocol::ToOrvane;
using Quor::Log::ERROR;
using Quor::Log::VERBOSE;
using Quor::Log::WARNING;

namespace {
constexpr const char* kUntrackedLong = "Received response to request no longer being tracked by API";
constexpr const char* kUntrackedShort = "Received response for request no longer being tracked";

// How a response logs its arrival (requester and id) and a response to a released request; the
// types below differ from this.
template <class Request>
struct ResponseLog {
    static constexpr const char* kUntracked = kUntrackedLong;
    template <class... Fields>
    static void Received(const char* tag, DWORD requester, DWORD requestId, const Fields&...) {
        QUOR_LOG_TAG(VERBOSE, tag, "(%d, %d)", requester, requestId);
    }
};
template <>
struct ResponseLog<GetVersion> : ResponseLog<void> {
    static void Received(const char* tag, DWORD requester, DWORD requestId, DWORD version) {
        QUOR_LOG_TAG(VERBOSE, tag, "(%d, %d, %d)", requester, requestId, version);
    }
};
template <>
struct ResponseLog<LockFile> : ResponseLog<void> {
    static constexpr const char* kUntracked = kUntrackedShort;
};
template <>
struct ResponseLog<UnlockFile> : ResponseLog<void> {
    static constexpr const char* kUntracked = kUntrackedShort;
};
template <>
struct ResponseLog<GetProjectVersionForSolutionRelease> {
    static constexpr const char* kUntracked = kUntrackedShort;
    static void Received(const char* tag, DWORD requester, DWORD requestId,
                         const std::string& projectVersion) {
        QUOR_LOG_TAG(VERBOSE, tag, "(%d, %d, %s)", requester, requestId, projectVersion.c_str());
    }
};
template <>
struct ResponseLog<GetQuorLibrary> {
    static constexpr const char* kUntracked = kUntrackedShort;
    static void Received(const char* tag, DWORD requester, DWORD requestId, HRESULT, const std::string&) {
        QUOR_LOG_TAG(VERBOSE, tag, "(from=%d, requestId=%d)", requester, requestId);
    }
};

// Hands a response's fields to the request it answers.
template <class Request, class... Fields>
HRESULT StoreResponse(Request& request, const Fields&... fields) {
    return request.OnResponse(fields...);
}
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
            if (type == Quor::OrvaneProtocol::PACKET_TYPE_GET_QUOR_LIBRARY)
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

// Per request type with a response: the factory sends the row's request fields.
#define QUOR_DEFINE_FACTORY(Name, TYPE, number, direction, ...)                                       \
    QUOR_IF_RESPONSE_##direction(std::shared_ptr<Quor::API::RPC::I##Name> Manager::Create##Name(      \
        QUOR_REQUEST_FIELDS_##Name(QUOR_FIELD_PARAM_FIRST) std::weak_ptr<Quor::API::IUpdateProgress>  \
            progress) {                                                                               \
        return Create<Name>(Quor::OrvaneProtocol::PACKET_TYPE_##TYPE, std::move(progress),            \
                            [&](ToOrvane::Send& send, DWORD id) {                                     \
                                send.Name##Request(0, id QUOR_REQUEST_FIELDS_##Name(QUOR_FIELD_ARG)); \
                            });                                                                       \
    })
QUOR_MESSAGES(QUOR_DEFINE_FACTORY)
#undef QUOR_DEFINE_FACTORY

// Its response logs its arrival, then hands the row's response fields to the request's OnResponse.
#define QUOR_DEFINE_RESPONSE(Name, TYPE, number, direction, ...)                                     \
    QUOR_IF_RESPONSE_##direction(QUOR_RESPONSE_SIGNATURE(Manager::, Name) {                          \
        ResponseLog<Name>::Received(__PRETTY_FUNCTION__, requester,                                  \
                                    requestId QUOR_RESPONSE_FIELDS_##Name(QUOR_FIELD_ARG));          \
        Deliver<Name>(__PRETTY_FUNCTION__, Quor::OrvaneProtocol::PACKET_TYPE_##TYPE, requestId,      \
                      ResponseLog<Name>::kUntracked, [&](Name& request) {                            \
                          return StoreResponse(request QUOR_RESPONSE_FIELDS_##Name(QUOR_FIELD_ARG)); \
                      });                                                                            \
    })
QUOR_MESSAGES(QUOR_DEFINE_RESPONSE)
#undef QUOR_DEFINE_RESPONSE

}  // namespace Quor::API::Impl::RPC
