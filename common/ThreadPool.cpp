#include "common/ThreadPool.h"

#include <cstdint>
#include <vector>

#include "common/Log.h"
#include "common/ThreadPoolInternalThread.h"
#include "foundation/AnnotatedMutex.h"

namespace Quor::Common::ThreadPool {

namespace Implementation {

// The pool behind IPool: its idle workers (a stack: last in, first out) and the result of the
// last start. Guarded by its own lock.
class Pool {
public:
    Pool(DWORD stackSize, DWORD flags) : m_StackSize(stackSize), m_Flags(flags) {}
    ~Pool() { QUOR_LOG(Log::VERBOSE, "%s", ""); }

    static std::shared_ptr<IThread> CreateThread(const std::shared_ptr<Pool>& pool, Vorn::ThreadEntry entry,
                                                 void* argument) {
        QUOR_LOG(Log::VERBOSE, "%s", "");
        std::shared_ptr<InternalThread> thread;
        {
            Vorn::AnnotatedLockGuard lock(pool->m_Lock);
            if (!pool->m_Idle.empty()) {
                QUOR_LOG(Log::VERBOSE, "Using idle thread");
                thread = std::move(pool->m_Idle.back());
                pool->m_Idle.pop_back();
            }
        }
        if (!thread) thread = std::make_shared<InternalThread>(pool->m_StackSize, pool->m_Flags);
        const HRESULT result = thread->Execute(entry, argument);
        {
            Vorn::AnnotatedLockGuard lock(pool->m_Lock);
            pool->m_LastError = result;
        }
        return std::make_shared<IThread>(pool, std::move(thread));
    }

    // A released job handle gives its worker back. Only a worker whose job has ended and that is
    // still usable goes onto the idle stack; one still running its job is given up on.
    void OnThreadIdle(std::shared_ptr<InternalThread> thread) {
        QUOR_LOG(Log::VERBOSE, "(0x%08lx)",
                 static_cast<unsigned long>(reinterpret_cast<uintptr_t>(thread.get())));
        if (thread->IsReusable()) {
            Vorn::AnnotatedLockGuard lock(m_Lock);
            m_Idle.push_back(std::move(thread));
            return;
        }
        if (thread->IsBusy() && thread->GetLastError() >= 0) {
            QUOR_LOG(Log::ERROR, "Job handle released while its job still runs; the worker is not reused");
            thread->Terminate();
        }
    }

    HRESULT GetLastError() {
        Vorn::AnnotatedLockGuard lock(m_Lock);
        return m_LastError;
    }

private:
    Vorn::AnnotatedMutex m_Lock;
    HRESULT m_LastError GUARDED_BY(m_Lock) = S_OK;
    DWORD m_StackSize;
    DWORD m_Flags;
    std::vector<std::shared_ptr<InternalThread>> m_Idle GUARDED_BY(m_Lock);
};

}  // namespace Implementation

IThread::IThread(std::shared_ptr<Implementation::Pool> pool, std::shared_ptr<Implementation::InternalThread> thread)
    : m_Pool(std::move(pool)), m_Thread(std::move(thread)) {}

IThread::~IThread() {
    if (m_Pool && m_Thread) m_Pool->OnThreadIdle(std::move(m_Thread));
}

HRESULT IThread::GetLastError() const { return m_Thread->GetLastError(); }

std::shared_ptr<Vorn::EventMultiWaitable> IThread::GetDoneExecuteEventHandle() const {
    return m_Thread->GetDoneExecuteEventHandle();
}

DWORD IThread::GetReturnValue() const { return m_Thread->GetReturnValue(); }

HRESULT IThread::Terminate() { return m_Thread->Terminate(); }

IPool::IPool(std::shared_ptr<Implementation::Pool> pool) : m_Pool(std::move(pool)) {}
IPool::~IPool() = default;

std::shared_ptr<IThread> IPool::CreateThread(Vorn::ThreadEntry entry, void* argument) {
    return Implementation::Pool::CreateThread(m_Pool, entry, argument);
}

HRESULT IPool::GetLastError() const { return m_Pool->GetLastError(); }

std::shared_ptr<IPool> CreatePool(DWORD stackSize, DWORD flags) {
    QUOR_LOG(Log::VERBOSE, "(%u, %u)", stackSize, flags);
    return std::make_shared<IPool>(std::make_shared<Implementation::Pool>(stackSize, flags));
}

}  // namespace Quor::Common::ThreadPool
