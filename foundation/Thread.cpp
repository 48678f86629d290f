#include "foundation/Thread.h"

#include <sched.h>

#include <cstdint>

#include "foundation/EventMultiWaitable.h"
#include "foundation/WaitResult.h"

namespace Vorn {

Thread::Thread(ThreadEntry entry, void* argument)
    : m_entry(entry), m_argument(argument), m_doneEvent(EventMultiWaitable::Create(true, false)) {}

Thread::~Thread() {
    // Runs once the thread has ended (or never started) and no handle is left; possibly on the
    // thread itself, when it dropped the last reference.
    if (m_valid.load() && m_ownership == Ownership::Joinable) pthread_detach(m_handle);
    m_valid.store(false);
}

void* Thread::ThreadThunker(void* object) {
    auto* thread = static_cast<Thread*>(object);
    thread->m_finished.store(false);
    const uint32 exitValue = thread->m_entry(thread->m_argument);
    thread->m_doneEvent->Set();
    thread->m_finished.store(true);
    // This may destroy the object when no caller holds it any more; it is not touched afterwards.
    std::shared_ptr<Thread> self = std::move(thread->m_selfReference);
    self.reset();
    return reinterpret_cast<void*>(static_cast<uintptr_t>(exitValue));
}

std::shared_ptr<Thread> threadCreate(ThreadEntry entry, void* argument) {
    if (!entry) return {};
    std::shared_ptr<Thread> thread(new Thread(entry, argument));
    thread->m_selfReference = thread;
    if (pthread_create(&thread->m_handle, nullptr, &Thread::ThreadThunker, thread.get()) != 0) {
        thread->m_selfReference.reset();
        return {};
    }
    thread->m_valid.store(true);
    return thread;
}

DWORD threadJoin(const std::shared_ptr<Thread>& thread, DWORD ms) {
    if (!thread || !thread->m_valid.load()) return WAIT_FAILED;
    if (ms != INFINITE) {
        const DWORD waited = thread->m_doneEvent->Wait(ms);
        if (waited != WAIT_OBJECT_0) return waited;
    }
    AnnotatedUniqueLock lock(thread->m_ownershipLock);
    switch (thread->m_ownership) {
        case Thread::Ownership::Joined:
            return WAIT_OBJECT_0;
        case Thread::Ownership::Detached:
            // Given up on earlier: it cannot be joined, but its end is still reported.
            lock.Unlock();
            return thread->m_doneEvent->Wait(ms);
        case Thread::Ownership::Joinable:
            break;
    }
    if (pthread_join(thread->m_handle, nullptr) != 0) return WAIT_FAILED;
    thread->m_ownership = Thread::Ownership::Joined;
    return WAIT_OBJECT_0;
}

bool threadTerminate(const std::shared_ptr<Thread>& thread, int /*exitCode*/) {
    if (!thread || !thread->m_valid.load()) return false;
    AnnotatedLockGuard lock(thread->m_ownershipLock);
    if (thread->m_ownership == Thread::Ownership::Joinable) {
        if (pthread_detach(thread->m_handle) != 0) return false;
        thread->m_ownership = Thread::Ownership::Detached;
    }
    return true;
}

bool threadIsValid(const std::shared_ptr<Thread>& thread) { return thread && thread->m_valid.load(); }

void thread_yield() { sched_yield(); }

}  // namespace Vorn
