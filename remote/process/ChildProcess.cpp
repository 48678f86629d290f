#include "remote/process/ChildProcess.h"

#include <signal.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <system_error>
#include <thread>
#include <unordered_map>

namespace Vorn {

namespace {

constexpr uint32_t kNoLimit = 0xFFFFFFFFu;

// Children not collected yet, by pid. Never destroyed: waiter threads may outlive static
// destruction at exit.
struct Registry {
    AnnotatedMutex mutex;
    std::unordered_map<pid_t, std::weak_ptr<ChildProcess>> children GUARDED_BY(mutex);
};
Registry& TheRegistry() {
    static Registry* registry = new Registry;
    return *registry;
}

void Unregister(pid_t pid) {
    Registry& r = TheRegistry();
    AnnotatedLockGuard lock(r.mutex);
    r.children.erase(pid);
}

}  // namespace

std::shared_ptr<ChildProcess> ChildProcess::Adopt(pid_t pid) {
    auto child = std::make_shared<ChildProcess>(pid);
    {
        Registry& r = TheRegistry();
        AnnotatedLockGuard lock(r.mutex);
        r.children[pid] = child;
    }
    {
        AnnotatedLockGuard lock(child->m_mutex);
        child->m_watched = true;
    }
    try {
        std::thread([child] { child->Watch(); }).detach();
    } catch (const std::system_error&) {
        // No thread to spare: the child is collected by whoever asks about it (Poll).
        AnnotatedLockGuard lock(child->m_mutex);
        child->m_watched = false;
    }
    return child;
}

std::shared_ptr<ChildProcess> ChildProcess::Find(pid_t pid) {
    Registry& r = TheRegistry();
    AnnotatedLockGuard lock(r.mutex);
    auto it = r.children.find(pid);
    return it == r.children.end() ? nullptr : it->second.lock();
}

void ChildProcess::Watch() {
    // Wait for the end without collecting, so that the pid stays this child's until the status
    // is stored under the lock (Signal relies on it).
    siginfo_t info;
    while (waitid(P_PID, static_cast<id_t>(m_pid), &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
    }
    {
        AnnotatedLockGuard lock(m_mutex);
        Collect(true);
    }
    m_ended.notify_all();
    Unregister(m_pid);
}

void ChildProcess::Collect(bool block) {
    if (m_collected) return;
    int status = 0;
    pid_t r;
    do {
        r = waitpid(m_pid, &status, block ? 0 : WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == m_pid) {
        m_status = status;
        m_collected = true;
    } else if (r < 0) {
        // Collected by someone else (a wait for any child elsewhere in the program): the status is
        // lost; report an unknown failure rather than a success.
        m_status = W_EXITCODE(255, 0);
        m_collected = true;
    }
}

void ChildProcess::Poll() {
    bool ended = false;
    {
        AnnotatedLockGuard lock(m_mutex);
        if (m_watched || m_collected) return;
        Collect(false);
        ended = m_collected;
    }
    if (ended) Unregister(m_pid);
}

bool ChildProcess::HasExited() {
    Poll();
    AnnotatedLockGuard lock(m_mutex);
    return m_collected;
}

bool ChildProcess::WaitForExit(uint32_t timeoutMs) {
    Poll();
    AnnotatedUniqueLock lock(m_mutex);
    if (m_watched) {
        const auto collected = [this]() REQUIRES(m_mutex) { return m_collected; };
        if (timeoutMs == kNoLimit) {
            m_ended.wait(lock.ForWait(), collected);
            return true;
        }
        return m_ended.wait_for(lock.ForWait(), std::chrono::milliseconds(timeoutMs), collected);
    }
    // Unwatched child: poll in short steps.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!m_collected) {
        Collect(false);
        if (m_collected || (timeoutMs != kNoLimit && std::chrono::steady_clock::now() >= deadline)) break;
        lock.Unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        lock.Lock();
    }
    const bool ended = m_collected;
    lock.Unlock();
    if (ended) Unregister(m_pid);
    return ended;
}

bool ChildProcess::WaitStatus(int& status) {
    Poll();
    AnnotatedLockGuard lock(m_mutex);
    if (!m_collected) return false;
    status = m_status;
    return true;
}

bool ChildProcess::Signal(int sig) {
    AnnotatedLockGuard lock(m_mutex);
    if (m_collected) return false;
    return kill(m_pid, sig) == 0;
}

}  // namespace Vorn
