#pragma once
// Quor::API::Impl::RPC::Manager: the client side of the kernel protocol. Hands out request objects
// (one factory per request type of protocol/Messages.h), numbers them from 0 with one counter,
// sends each request, and routes every response and progress report that its worker decodes to
// the request it belongs to.
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
#include "protocol/Messages.h"
#include "protocol/ToOrvaneSend.h"

namespace Quor::API::Impl::RPC {

class Manager final : public Quor::OrvaneProtocol::IOrvaneToApp, public Quor::API::RPC::IManager {
public:
    // `result` in: a failure makes an inert manager (no worker); out: S_OK or the failure.
    Manager(IConnectionManager& connection, HRESULT& result);
    ~Manager() override;
    Manager(const Manager&) = delete;
    Manager& operator=(const Manager&) = delete;

// Per request type with a response: its factory and its response.
#define QUOR_DECLARE_REQUEST_TYPE(Name, TYPE, number, direction, ...)                   \
    QUOR_IF_RESPONSE_##direction(std::shared_ptr<Quor::API::RPC::I##Name> Create##Name( \
                                     QUOR_REQUEST_FIELDS_##Name(QUOR_FIELD_PARAM_FIRST) \
                                         std::weak_ptr<Quor::API::IUpdateProgress>      \
                                             progress) override;                        \
                                 QUOR_RESPONSE_SIGNATURE(, Name) override;)
    QUOR_MESSAGES(QUOR_DECLARE_REQUEST_TYPE)
#undef QUOR_DECLARE_REQUEST_TYPE
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
