#pragma once
// Vorn::Thread: a thread handed around by shared pointer, whose end can be waited for.
//
// The object lives until the thread has ended and the last handle is gone: dropping every handle
// of a running thread is safe (the thread then cleans up after itself). threadJoin may be called
// from several threads and more than once; a joined thread is never detached afterwards. Threads
// are never cancelled: threadTerminate gives a thread that did not stop when asked up to run to
// its end on its own (it is detached, never killed); callers ask their threads to stop through a
// flag, an event or by closing their socket first.
#include <pthread.h>

#include <atomic>
#include <memory>

#include "foundation/AnnotatedMutex.h"
#include "foundation/Types.h"

namespace Vorn {

typedef uint32_t uint32;
typedef uint32 (*ThreadEntry)(void* argument);

class EventMultiWaitable;

class Thread {
public:
    ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // The function the POSIX thread runs; thread is the Thread object.
    static void* ThreadThunker(void* thread);

private:
    friend std::shared_ptr<Thread> threadCreate(ThreadEntry entry, void* argument);
    friend DWORD threadJoin(const std::shared_ptr<Thread>& thread, DWORD ms);
    friend bool threadTerminate(const std::shared_ptr<Thread>& thread, int exitCode);
    friend bool threadIsValid(const std::shared_ptr<Thread>& thread);

    enum class Ownership { Joinable, Joined, Detached };

    Thread(ThreadEntry entry, void* argument);

    pthread_t m_handle{};
    ThreadEntry m_entry;
    void* m_argument;
    std::atomic<bool> m_valid{false};
    std::atomic<bool> m_finished{false};
    std::shared_ptr<EventMultiWaitable> m_doneEvent;  // manual reset; set when entry returned
    std::shared_ptr<Thread> m_selfReference;         // held by the running thread
    AnnotatedMutex m_ownershipLock;                  // serialises join, detach and destruction
    Ownership m_ownership GUARDED_BY(m_ownershipLock) = Ownership::Joinable;
};

// Starts entry(argument) on a new thread; empty when no thread could be started (errno tells why).
std::shared_ptr<Thread> threadCreate(ThreadEntry entry, void* argument);
// WAIT_OBJECT_0 when the thread has ended (it is joined), WAIT_TIMEOUT when it still runs after ms
// milliseconds (INFINITE waits without limit), WAIT_FAILED for an empty pointer or a failed join
// (a thread joining itself).
DWORD threadJoin(const std::shared_ptr<Thread>& thread, DWORD ms);
// For a thread that did not end when asked: detaches it so that it finishes on its own. Nothing is
// cancelled and the thread's end is still reported only when it really ends. True unless the
// pointer is empty or the thread was never started. exitCode is not used.
bool threadTerminate(const std::shared_ptr<Thread>& thread, int exitCode);
bool threadIsValid(const std::shared_ptr<Thread>& thread);
void thread_yield();

}  // namespace Vorn
