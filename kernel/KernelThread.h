#pragma once
// Quor::Orvane::KernelThread: the kernel's request server. Owns the loopback transport and the
// request handler, runs one request at a time on the kernel's thread pool (each connection's
// requests in the order received, the connections taking turns: RequestQueue), takes Cancels and
// ended connections (the handler hears of each once no job runs, so that it can release what the
// connection held), and holds the named semaphore "QUOR_ORVANE_MUTEX_NAME"
// for its whole life so that clients and a second kernel see that a server runs.
//
// Errors: the constructor reports "Already running." (E_FAIL) when another server holds the
// semaphore and "Failed to start network." with the transport's failure. Once the server thread
// ends (Terminate request, destruction or a failure) listening stops and every connection closes.
// Threads: the server thread alone owns the queue and the running job; SetStop may be called from
// the job. The destructor stops the server thread, cancels a running job and waits for it.
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "common/ThreadPool.h"
#include "foundation/Thread.h"
#include "foundation/Types.h"
#include "kernel/PACKET.h"
#include "kernel/RequestQueue.h"

namespace Vorn {
class EventMultiWaitable;
class SharedMutex;
}  // namespace Vorn

namespace Quor::OrvaneProtocol {
class ISendPacket;
namespace ToApp {
class Send;
}
}  // namespace Quor::OrvaneProtocol

namespace Quor::Orvane {

class IConnectionManager;
class IRequestHandler;
class KernelThread;
class WorkingThread;

// Short: while the one running job waits for a client that does not read, every other client
// waits for the job.
constexpr DWORD kDefaultSendLimitMs = 500;

struct KernelThreadOptions {
    using HandlerFactory = std::function<std::unique_ptr<IRequestHandler>(
        KernelThread& owner, Quor::OrvaneProtocol::ISendPacket& transport)>;

    unsigned port = 0;            // 0: the protocol's port (GetOrvanePort)
    DWORD jobGiveUpMs = 30000;    // how long a cancelled job is waited for before it is given up
    // How long an answer may wait for a client that does not read before that connection is
    // closed (and its queued requests dropped).
    DWORD sendTimeoutMs = kDefaultSendLimitMs;
    HandlerFactory makeHandler;   // empty: the kernel's request handlers
};

class KernelThread {
public:
    static constexpr const char* kInstanceMutexName = "QUOR_ORVANE_MUTEX_NAME";

    // The kernel's request handlers on the protocol's port.
    KernelThread(std::shared_ptr<Quor::Common::ThreadPool::IPool> pool, HRESULT& hr);
    KernelThread(std::shared_ptr<Quor::Common::ThreadPool::IPool> pool, KernelThreadOptions options,
                 HRESULT& hr);
    ~KernelThread();
    KernelThread(const KernelThread&) = delete;
    KernelThread& operator=(const KernelThread&) = delete;

    // The server thread (empty when construction failed before starting it), for joining.
    std::shared_ptr<Vorn::Thread> GetThread() const { return m_Thread; }
    // Asks the server thread to end once the running job has returned (the Terminate request).
    void SetStop() { m_Stop.store(true); }

    Vorn::uint32 ThreadProc();
    HRESULT CheckPackets();
    HRESULT CancelRequest(const DWORD connection, const DWORD requestId);
    HRESULT StartNewWork();

private:
    static Vorn::uint32 Trampoline(void* self);
    // Cancels the running job and waits for it; gives it up when it does not end in time.
    void RetireJob();
    void AnswerCancelled(const PACKET& packet);
    // Tells the handler of the connections that ended; only while no job runs.
    void EndConnections();

    std::shared_ptr<Quor::Common::ThreadPool::IPool> m_Pool;
    KernelThreadOptions m_Options;
    std::unique_ptr<IConnectionManager> m_Connections;
    std::unique_ptr<IRequestHandler> m_Handler;
    std::unique_ptr<Quor::OrvaneProtocol::ToApp::Send> m_Answers;  // answers sent by the server itself
    std::shared_ptr<Vorn::SharedMutex> m_InstanceMarker;
    std::atomic<bool> m_Stop{false};
    std::shared_ptr<Vorn::EventMultiWaitable> m_TerminateEvent;
    std::shared_ptr<Vorn::Thread> m_Thread;
    std::unique_ptr<WorkingThread> m_Job;
    std::unique_ptr<WorkingThread> m_GivenUpJob;  // still running after its cancel; no new job meanwhile
    RequestQueue m_Queue;
    std::vector<DWORD> m_EndedConnections;  // not yet told to the handler
};

}  // namespace Quor::Orvane
