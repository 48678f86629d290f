#include "common/ThreadedCooperativeTask.h"

#include "common/Log.h"
#include "foundation/EventMultiWaitable.h"
#include "foundation/Mutex.h"
#include "foundation/WaitResult.h"

namespace Quor::Common {

// What the worker works on; shared with it, so that a worker given up on never touches the
// ThreadedCooperativeTask object once it returns from its step.
struct ThreadedCooperativeTask::Shared {
    ICooperativeTask* task = nullptr;
    DWORD budget = 0;
    std::shared_ptr<Vorn::EventMultiWaitable> completeEvent;
    std::atomic<bool> complete{false};
    std::atomic<bool> cancel{false};
    std::atomic<HRESULT> result{S_OK};
};

ThreadedCooperativeTask::ThreadedCooperativeTask(ICooperativeTask& task, const std::shared_ptr<ThreadPool::IPool>& pool,
                                                 DWORD budget)
    : m_Shared(std::make_shared<Shared>()), m_Mutex(Vorn::Mutex::Create(false)) {
    QUOR_LOG(Log::VERBOSE, "(%u)", budget);
    m_Shared->task = &task;
    m_Shared->budget = budget;
    m_Shared->completeEvent = Vorn::EventMultiWaitable::Create(false, false);
    if (!m_Shared->completeEvent) {
        m_Shared->result = E_FAIL;
        QUOR_LOG(Log::ERROR, "CreateEvent failed.");
    } else if (!pool) {
        m_Shared->result = E_FAIL;
        QUOR_LOG(Log::ERROR, "Failed to create thread");
    } else {
        auto* argument = new std::shared_ptr<Shared>(m_Shared);
        m_Thread = pool->CreateThread(&ThreadedCooperativeTask::ThreadProc, argument);
        const HRESULT result = m_Thread ? m_Thread->GetLastError() : E_FAIL;
        if (result >= 0) return;  // running
        delete argument;  // the job never started
        m_Shared->result = result;
        QUOR_LOG(Log::ERROR, "Failed to create thread");
    }
    m_Shared->complete = true;
    if (m_Shared->completeEvent && !m_Shared->completeEvent->Set()) {
        QUOR_LOG(Log::ERROR, "SetEvent failed");
        m_Shared->result = E_FAIL;
    }
}

ThreadedCooperativeTask::~ThreadedCooperativeTask() {
    QUOR_LOG(Log::VERBOSE, "%s", "");
    if (!m_Shared->complete) {
        Cancel();
    } else {
        ReleaseThread();
    }
}

DWORD ThreadedCooperativeTask::ThreadProc(void* argument) {
    std::shared_ptr<Shared> owner = std::move(*static_cast<std::shared_ptr<Shared>*>(argument));
    delete static_cast<std::shared_ptr<Shared>*>(argument);
    Shared& shared = *owner;
    if (!shared.cancel) {
        DWORD value = ICooperativeTask::kMoreWork;
        try {
            do {
                value = shared.task->DoWork(shared.budget);
            } while (!shared.cancel && value == ICooperativeTask::kMoreWork);
        } catch (const std::exception& e) {
            QUOR_LOG(Log::ERROR, "DoWork threw: %s", e.what());
            value = ICooperativeTask::kFailed;
        }
        if (value == ICooperativeTask::kFailed) shared.result = E_FAIL;
    }
    Complete(shared);
    return 0;
}

HRESULT ThreadedCooperativeTask::Complete(Shared& shared) {
    shared.complete = true;
    if (!shared.completeEvent->Set()) {
        QUOR_LOG(Log::ERROR, "SetEvent failed");
        shared.result = E_FAIL;
    }
    return shared.result;
}

HRESULT ThreadedCooperativeTask::OnComplete() { return Complete(*m_Shared); }

void ThreadedCooperativeTask::ReleaseThread() {
    if (!m_Thread) return;
    if (m_Thread->GetLastError() >= 0) {
        const DWORD waited = m_Thread->GetDoneExecuteEventHandle()->Wait(kCancelWaitMs);
        if (waited != Vorn::WAIT_OBJECT_0) {
            QUOR_LOG(Log::ERROR, "Thread did not terminate, calling Termiante");
            if (FAILED(m_Thread->Terminate())) QUOR_LOG(Log::ERROR, "Terminate failed.");
        }
    }
    m_Thread.reset();  // back to the pool, unless it was given up on
}

void ThreadedCooperativeTask::Cancel() {
    QUOR_LOG(Log::VERBOSE, "%s", "");
    m_Shared->cancel = true;
    ReleaseThread();
    m_Shared->complete = true;
    if (!m_Shared->completeEvent || !m_Shared->completeEvent->Set()) {
        QUOR_LOG(Log::ERROR, "SetEvent failed");
        m_Shared->result = E_FAIL;
    }
}

HRESULT ThreadedCooperativeTask::WaitUntilComplete() {
    QUOR_LOG(Log::VERBOSE, "%s", "");
    // The complete event is auto reset and may be consumed by another waiter: the flag decides,
    // and the wait is repeated in short steps.
    while (!m_Shared->complete) {
        const DWORD waited = m_Shared->completeEvent ? m_Shared->completeEvent->Wait(100) : Vorn::WAIT_FAILED;
        if (waited != Vorn::WAIT_OBJECT_0 && waited != Vorn::WAIT_TIMEOUT) {
            QUOR_LOG(Log::ERROR, "WaitForSingleObject failed");
            m_Shared->result = E_FAIL;
            break;
        }
    }
    return m_Shared->result;
}

std::shared_ptr<ThreadedCooperativeTask::AutoLockResult> ThreadedCooperativeTask::GetAutoLockResult() {
    return std::make_shared<AutoLockResult>(*this);
}

std::shared_ptr<Vorn::EventMultiWaitable> ThreadedCooperativeTask::GetCompleteEventHandle() const {
    return m_Shared->completeEvent;
}

ThreadedCooperativeTask::AutoLockResult::AutoLockResult(ThreadedCooperativeTask& task) : m_Task(task) {
    m_Task.m_Mutex->Lock();
}

ThreadedCooperativeTask::AutoLockResult::~AutoLockResult() { m_Task.m_Mutex->Unlock(); }

HRESULT ThreadedCooperativeTask::AutoLockResult::GetResult() const { return m_Task.m_Shared->result; }

}  // namespace Quor::Common
