#pragma once
// Quor::Common::ThreadedCooperativeTask: drives an ICooperativeTask on a pool thread, step after
// step, until it is done, fails or is cancelled.
//
// The task starts at construction. Its result is S_OK, or a failure (E_FAIL) when a step failed
// or the start failed; a task whose start failed is complete at once. WaitUntilComplete waits for
// completion and returns that result; the complete event (auto reset) lets a caller wait together
// with events of its own, then read the result through an AutoLockResult, which holds the task's
// mutex while it is kept.
// Cancel stops the stepping between two steps and waits up to 3 s for the running step to end; a
// step that does not end by then is given up on: its worker is detached (never cancelled) and not
// reused, and the task completes with the result it had. The driven ICooperativeTask must stay
// alive until the task completed (or, after a give-up, until its running step returned).
// Threads: Cancel, WaitUntilComplete and GetAutoLockResult may be called from any thread; the
// destructor cancels a task that has not completed.
#include <atomic>
#include <memory>

#include "common/ICooperativeTask.h"
#include "common/ThreadPool.h"
#include "foundation/Types.h"

namespace Vorn {
class EventMultiWaitable;
class Mutex;
}  // namespace Vorn

namespace Quor::Common {

class ThreadedCooperativeTask {
public:
    static constexpr DWORD kCancelWaitMs = 3000;

    // Holds the task's mutex from its creation until it is released.
    class AutoLockResult {
    public:
        explicit AutoLockResult(ThreadedCooperativeTask& task);
        ~AutoLockResult();
        AutoLockResult(const AutoLockResult&) = delete;
        AutoLockResult& operator=(const AutoLockResult&) = delete;

        HRESULT GetResult() const;

    private:
        ThreadedCooperativeTask& m_Task;
    };

    ThreadedCooperativeTask(ICooperativeTask& task, const std::shared_ptr<ThreadPool::IPool>& pool, DWORD budget);
    ~ThreadedCooperativeTask();
    ThreadedCooperativeTask(const ThreadedCooperativeTask&) = delete;
    ThreadedCooperativeTask& operator=(const ThreadedCooperativeTask&) = delete;

    void Cancel();
    // Waits for completion; the task's result (a failure stays a failure).
    HRESULT WaitUntilComplete();
    std::shared_ptr<AutoLockResult> GetAutoLockResult();
    // Marks the task complete and signals the complete event (done by the worker).
    HRESULT OnComplete();
    std::shared_ptr<Vorn::EventMultiWaitable> GetCompleteEventHandle() const;

private:
    struct Shared;
    static DWORD ThreadProc(void* argument);
    static HRESULT Complete(Shared& shared);
    void ReleaseThread();

    std::shared_ptr<Shared> m_Shared;
    std::shared_ptr<Vorn::Mutex> m_Mutex;
    std::shared_ptr<ThreadPool::IThread> m_Thread;
};

}  // namespace Quor::Common
