#pragma once
// Quor::Common::ThreadPool: worker threads that are kept after a job and handed the next one.
//
// CreatePool gives the pool's handle (IPool); IPool::CreateThread runs entry(argument) on an idle
// worker (the most recently returned one) or on a new one, and gives the job's handle (IThread),
// also when the start failed (check IThread::GetLastError). Releasing the job handle returns the
// worker to the pool, but only a worker whose job has ended and that is usable: a worker still
// running its job (its handle released early, or a job that did not stop when asked) is
// abandoned: asked to end after its job, detached and never handed another job; the pool starts a
// fresh worker when it needs one. No thread is ever cancelled. Destroying the pool ends its idle
// workers (each is asked to end and joined for at most 10 s, then detached).
// Threads: CreateThread and the release of job handles may come from several threads (the idle
// stack has its own lock). A job handle belongs to one thread at a time.
#include <memory>

#include "foundation/Thread.h"
#include "foundation/Types.h"

namespace Vorn {
class EventMultiWaitable;
}

namespace Quor::Common::ThreadPool {

namespace Implementation {
class InternalThread;
class Pool;
}  // namespace Implementation

// Handle of one job.
class IThread {
public:
    IThread(std::shared_ptr<Implementation::Pool> pool, std::shared_ptr<Implementation::InternalThread> thread);
    ~IThread();
    IThread(const IThread&) = delete;
    IThread& operator=(const IThread&) = delete;

    // 0 while the worker is usable; negative once it failed.
    HRESULT GetLastError() const;
    // Manual-reset event set when the job has returned (for Vorn::WaitForMultipleEvents).
    std::shared_ptr<Vorn::EventMultiWaitable> GetDoneExecuteEventHandle() const;
    // What the last job returned.
    DWORD GetReturnValue() const;
    // Gives up on a job that did not end when asked: the worker is asked to end once the job
    // returns and is detached (never cancelled, never reused). S_OK, or E_FAIL (logged) when there
    // is no thread to give up.
    HRESULT Terminate();

private:
    std::shared_ptr<Implementation::Pool> m_Pool;
    std::shared_ptr<Implementation::InternalThread> m_Thread;
};

// Handle of the pool.
class IPool {
public:
    explicit IPool(std::shared_ptr<Implementation::Pool> pool);
    ~IPool();
    IPool(const IPool&) = delete;
    IPool& operator=(const IPool&) = delete;

    std::shared_ptr<IThread> CreateThread(Vorn::ThreadEntry entry, void* argument);
    // Result of the last start of a job.
    HRESULT GetLastError() const;

private:
    std::shared_ptr<Implementation::Pool> m_Pool;
};

// stackSize and flags are kept and have no effect on this platform.
std::shared_ptr<IPool> CreatePool(DWORD stackSize, DWORD flags);

}  // namespace Quor::Common::ThreadPool
