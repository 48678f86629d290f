#include "platform/ManualClock.h"

#include <cerrno>
#include <chrono>

#include "platform/MonotonicClock.h"

namespace Quor::Platform {

namespace {
// How long (real time) a timed wait on the manual clock blocks before it looks at the clock again.
constexpr uint64_t kPollNanoseconds = 1000000u;
constexpr uint64_t kStartNanoseconds = 3600ull * 1000000000u;
}  // namespace

ManualClock::ManualClock() : m_now(kStartNanoseconds) { SetClock(this); }

ManualClock::~ManualClock() { SetClock(nullptr); }

uint64_t ManualClock::NowNanoseconds() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_now;
}

void ManualClock::Sleep(uint64_t ns) {
    std::unique_lock<std::mutex> lock(m_mutex);
    const uint64_t end = m_now + ns;
    if (m_now >= end) return;
    m_ends.insert(end);
    m_changed.notify_all();
    m_changed.wait(lock, [&] { return m_now >= end; });  // Advance took it out of m_ends
}

int ManualClock::WaitUntil(pthread_cond_t& condition, pthread_mutex_t& mutex, uint64_t deadlineNs) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_now >= deadlineNs) return ETIMEDOUT;
        m_ends.insert(deadlineNs);
        m_changed.notify_all();
    }
    // The caller's condition variable cannot be woken by Advance: the wait ends after a short
    // real slice as a spurious wake-up, and the caller, which looks at its condition anyway,
    // comes back.
    const uint64_t slice = MonotonicNanoseconds() + kPollNanoseconds;
    const timespec at{static_cast<time_t>(slice / 1000000000u), static_cast<long>(slice % 1000000000u)};
    int rc = pthread_cond_timedwait(&condition, &mutex, &at);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_now >= deadlineNs) return ETIMEDOUT;  // Advance took it out of m_ends
    m_ends.erase(m_ends.find(deadlineNs));
    return rc == ETIMEDOUT ? 0 : rc;
}

void ManualClock::Advance(uint64_t ns) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_now += ns;
    m_ends.erase(m_ends.begin(), m_ends.upper_bound(m_now));
    m_changed.notify_all();
}

void ManualClock::AwaitWaiters(unsigned count) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [&] { return m_ends.size() >= count; });
}

bool ManualClock::AwaitWaitersFor(unsigned count, uint64_t realMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(realMs),
                              [&] { return m_ends.size() >= count; });
}

unsigned ManualClock::Waiters() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<unsigned>(m_ends.size());
}

}  // namespace Quor::Platform
