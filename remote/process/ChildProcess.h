#pragma once
// A program this process started, and its exit status.
//
// Every child is watched from the moment it starts: a waiter thread of its own collects it
// (waitpid) as soon as it ends and keeps the wait status here, so that no child is ever left a
// zombie, also when nobody holds its handle, and its exit code stays readable however long after.
// While the child has not been collected it is a process or a zombie, never a reused pid, so a
// signal sent through Signal always reaches this child.
//
// Threads: every member may be called from any thread. Lifetime: shared by the handle(s) and the
// waiter; Find looks up children that have not been collected yet.
#include <sys/types.h>

#include <condition_variable>
#include <cstdint>
#include <memory>

#include "foundation/AnnotatedMutex.h"

namespace Vorn {

class ChildProcess {
public:
    // Takes charge of a child just started with posix_spawn.
    static std::shared_ptr<ChildProcess> Adopt(pid_t pid);
    // The child with that pid that has not been collected yet, or null.
    static std::shared_ptr<ChildProcess> Find(pid_t pid);

    pid_t Pid() const { return m_pid; }
    bool HasExited();
    // Waits up to timeoutMs (0xFFFFFFFF: without limit) for the child to end; true once it has.
    bool WaitForExit(uint32_t timeoutMs);
    // The raw wait status; false while the child runs.
    bool WaitStatus(int& status);
    // Sends sig unless the child has been collected; true when it was sent.
    bool Signal(int sig);

    explicit ChildProcess(pid_t pid) : m_pid(pid) {}

private:
    void Watch();  // body of the waiter thread
    void Collect(bool block) REQUIRES(m_mutex);
    void Poll();  // without a waiter thread (it could not be started): collect when ended

    const pid_t m_pid;
    AnnotatedMutex m_mutex;
    std::condition_variable m_ended;
    bool m_watched GUARDED_BY(m_mutex) = false;
    bool m_collected GUARDED_BY(m_mutex) = false;
    int m_status GUARDED_BY(m_mutex) = 0;
};

}  // namespace Vorn
