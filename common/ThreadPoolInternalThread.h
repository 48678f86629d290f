#pragma once
// One worker thread of the thread pool (Quor::Common::ThreadPool, see ThreadPool.h).
//
// The worker waits for a job (Execute), runs it, signals EVENT_TYPE_DONE_EXECUTE and waits again;
// EVENT_TYPE_TERMINATE ends it. Once its lastError is negative it runs no further job. The state
// the thread works on is shared with it, so a worker given up on (Terminate: detached while its
// job still runs) ends on its own without touching this object. Destruction asks the thread to
// end and joins it for at most 10 s, then detaches it. Execute is called by one thread at a time;
// the getters may be called from any thread.
#include <atomic>
#include <memory>

#include "foundation/Thread.h"
#include "foundation/Types.h"

namespace Vorn {
class EventMultiWaitable;
}

namespace Quor::Common::ThreadPool::Implementation {

class InternalThread {
public:
    enum EVENT_TYPE { EVENT_TYPE_TERMINATE = 0, EVENT_TYPE_EXECUTE = 1, EVENT_TYPE_DONE_EXECUTE = 2 };
    static constexpr DWORD kJoinTimeoutMs = 10000;

    InternalThread(DWORD stackSize, DWORD flags);
    ~InternalThread();
    InternalThread(const InternalThread&) = delete;
    InternalThread& operator=(const InternalThread&) = delete;

    HRESULT Execute(Vorn::ThreadEntry entry, void* argument);
    HRESULT Terminate();

    HRESULT GetLastError() const;
    DWORD GetReturnValue() const;
    std::shared_ptr<Vorn::EventMultiWaitable> GetDoneExecuteEventHandle() const;
    // True when the worker may be handed another job: usable, not given up on, no job running.
    bool IsReusable() const;
    // True while a job was handed over and has not returned.
    bool IsBusy() const;

private:
    struct Shared;
    static DWORD ThreadProc(void* argument);

    std::shared_ptr<Shared> m_Shared;
    std::shared_ptr<Vorn::Thread> m_Thread;
    std::atomic<bool> m_Abandoned{false};
};

}  // namespace Quor::Common::ThreadPool::Implementation
