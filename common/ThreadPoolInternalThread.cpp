#include "common/ThreadPoolInternalThread.h"

#include <atomic>
#include <cstdint>

#include "common/LastError.h"
#include "common/Log.h"
#include "foundation/AnnotatedMutex.h"
#include "foundation/EventMultiWaitable.h"
#include "foundation/WaitForMultipleEvents.h"
#include "foundation/WaitResult.h"

namespace Quor::Common::ThreadPool::Implementation {

struct InternalThread::Shared {
    std::shared_ptr<Vorn::EventMultiWaitable> events[3];
    Vorn::ThreadEntry entry = nullptr;  // written by Execute before EXECUTE is set
    void* argument = nullptr;
    std::atomic<HRESULT> lastError{S_OK};
    std::atomic<DWORD> returnValue{0};
    // busy and the done event change together under this lock, so that a worker seen idle has
    // signalled its last job's end, and a new job cannot start between the two.
    Vorn::AnnotatedMutex jobLock;
    bool busy GUARDED_BY(jobLock) = false;
    unsigned long owner = 0;  // address of the InternalThread, for log lines
};

namespace {

unsigned long AddressOf(const void* p) { return static_cast<unsigned long>(reinterpret_cast<uintptr_t>(p)); }

}  // namespace

InternalThread::InternalThread(DWORD /*stackSize*/, DWORD /*flags*/) : m_Shared(std::make_shared<Shared>()) {
    QUOR_LOG(Log::VERBOSE, "%s", "");
    m_Shared->owner = AddressOf(this);
    for (auto& event : m_Shared->events) {
        event = Vorn::EventMultiWaitable::Create(true, false);
        if (!event) {
            m_Shared->lastError = LastErrorFailure(__PRETTY_FUNCTION__);
            QUOR_LOG(Log::ERROR, "Failed to create event handle.");
            return;
        }
    }
    auto* argument = new std::shared_ptr<Shared>(m_Shared);
    m_Thread = Vorn::threadCreate(&InternalThread::ThreadProc, argument);
    if (!m_Thread) {
        delete argument;
        m_Shared->lastError = LastErrorFailure(__PRETTY_FUNCTION__);
        QUOR_LOG(Log::ERROR, "Failed to create thread.");
        return;
    }
    m_Shared->lastError = S_OK;
}

InternalThread::~InternalThread() {
    QUOR_LOG(Log::VERBOSE, "%s", "");
    if (!m_Thread || m_Abandoned) return;
    if (!m_Shared->events[EVENT_TYPE_TERMINATE]->Set()) {
        QUOR_LOG(Log::ERROR, "Failed to set event needed to terminate thread.");
    }
    if (Vorn::threadJoin(m_Thread, kJoinTimeoutMs) != Vorn::WAIT_OBJECT_0) {
        // It did not end in time: it is left to end on its own (detached), never killed.
        QUOR_LOG(Log::ERROR, "Thread did not terminate, calling TermianteThread.");
        if (!Vorn::threadTerminate(m_Thread, 0)) QUOR_LOG(Log::ERROR, "TerminateThread failed.");
    }
}

HRESULT InternalThread::Execute(Vorn::ThreadEntry entry, void* argument) {
    QUOR_LOG(Log::VERBOSE, "%s", "");
    Shared& shared = *m_Shared;
    if (shared.lastError < 0 || m_Abandoned) {
        QUOR_LOG(Log::ERROR, "Object in failed state");
        return shared.lastError < 0 ? shared.lastError.load() : E_FAIL;
    }
    {
        Vorn::AnnotatedLockGuard lock(shared.jobLock);
        shared.events[EVENT_TYPE_DONE_EXECUTE]->Reset();
        shared.entry = entry;
        shared.argument = argument;
        shared.busy = true;
    }
    QUOR_LOG(Log::VERBOSE, "Setting EVENT_TYPE_EXECUTE [this = 0x%08lx]", shared.owner);
    if (shared.events[EVENT_TYPE_EXECUTE]->Set()) {
        shared.lastError = S_OK;
    } else {
        Vorn::AnnotatedLockGuard lock(shared.jobLock);
        shared.busy = false;
        shared.lastError = E_FAIL;
        QUOR_LOG(Log::ERROR, "Failed to set event to execute");
    }
    return shared.lastError;
}

HRESULT InternalThread::Terminate() {
    QUOR_LOG(Log::VERBOSE, "%s", "");
    if (!m_Thread) {
        QUOR_LOG(Log::ERROR, "TerminateThread failed.\n");
        return E_FAIL;
    }
    // Never cancelled: the worker is asked to end once its job returns and is left to do so.
    if (m_Abandoned.exchange(true)) return S_OK;
    m_Shared->events[EVENT_TYPE_TERMINATE]->Set();
    if (!Vorn::threadTerminate(m_Thread, 0)) {
        QUOR_LOG(Log::ERROR, "TerminateThread failed.\n");
        return E_FAIL;
    }
    QUOR_LOG(Log::WARNING, "Worker [this = 0x%08lx] given up: detached, it ends when its job returns", m_Shared->owner);
    return S_OK;
}

HRESULT InternalThread::GetLastError() const { return m_Shared->lastError; }
DWORD InternalThread::GetReturnValue() const { return m_Shared->returnValue; }

std::shared_ptr<Vorn::EventMultiWaitable> InternalThread::GetDoneExecuteEventHandle() const {
    return m_Shared->events[EVENT_TYPE_DONE_EXECUTE];
}

bool InternalThread::IsBusy() const {
    Vorn::AnnotatedLockGuard lock(m_Shared->jobLock);
    return m_Shared->busy;
}

bool InternalThread::IsReusable() const {
    return m_Thread && !m_Abandoned && m_Shared->lastError >= 0 && !IsBusy();
}

DWORD InternalThread::ThreadProc(void* argument) {
    std::shared_ptr<Shared> sharedOwner = std::move(*static_cast<std::shared_ptr<Shared>*>(argument));
    delete static_cast<std::shared_ptr<Shared>*>(argument);
    Shared& shared = *sharedOwner;
    const std::shared_ptr<Vorn::EventMultiWaitable> waitFor[2] = {shared.events[EVENT_TYPE_TERMINATE],
                                                                   shared.events[EVENT_TYPE_EXECUTE]};
    while (shared.lastError >= 0) {
        const DWORD result = Vorn::WaitForMultipleEvents(2, waitFor, false, Vorn::INFINITE);
        if (result == EVENT_TYPE_TERMINATE) {
            QUOR_LOG(Log::VERBOSE, "EVENT_TYPE_TERMINATE [this = 0x%08lx]", shared.owner);
            break;
        }
        if (result == Vorn::WAIT_NONE_SIGNALLED) continue;  // woken with nothing signalled: wait again
        if (result == Vorn::WAIT_TIMEOUT) {
            QUOR_LOG(Log::ERROR, "WaitForMultipleObjects returned WAIT_TIMEOUT.");
            shared.lastError = E_FAIL;
            break;
        }
        if (result != EVENT_TYPE_EXECUTE) {
            QUOR_LOG(Log::ERROR, "Unexpected object signaled.");
            shared.lastError = E_FAIL;
            break;
        }
        QUOR_LOG(Log::VERBOSE, "EVENT_TYPE_EXECUTE [this = 0x%08lx]", shared.owner);
        shared.events[EVENT_TYPE_EXECUTE]->Reset();
        if (!shared.entry) {
            shared.lastError = E_FAIL;
        } else {
            shared.returnValue = shared.entry(shared.argument);
        }
        Vorn::AnnotatedLockGuard lock(shared.jobLock);
        shared.busy = false;
        if (shared.lastError >= 0) {
            QUOR_LOG(Log::VERBOSE, "Setting EVENT_TYPE_DONE_EXECUTE [this = 0x%08lx]", shared.owner);
            if (!shared.events[EVENT_TYPE_DONE_EXECUTE]->Set()) {
                QUOR_LOG(Log::ERROR, "Failed to set event to execute");
                shared.lastError = E_FAIL;
            }
        }
    }
    return 0;
}

}  // namespace Quor::Common::ThreadPool::Implementation
