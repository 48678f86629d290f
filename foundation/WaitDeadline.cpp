#include "foundation/WaitDeadline.h"

#include "foundation/WaitResult.h"
#include "platform/Clock.h"

namespace Vorn {

namespace {
constexpr long kNanosPerSecond = 1000000000L;
}

WaitDeadline WaitDeadline::After(DWORD ms) {
    WaitDeadline d;
    if (ms == INFINITE) return d;
    d.m_infinite = false;
    d.m_deadlineNs = Quor::Platform::Clock().NowNanoseconds() + static_cast<uint64_t>(ms) * 1000000u;
    clock_gettime(CLOCK_MONOTONIC, &d.m_at);
    d.m_at.tv_sec += static_cast<time_t>(ms / 1000);
    d.m_at.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
    if (d.m_at.tv_nsec >= kNanosPerSecond) {
        d.m_at.tv_sec += 1;
        d.m_at.tv_nsec -= kNanosPerSecond;
    }
    return d;
}

int WaitDeadline::Wait(pthread_cond_t& condition, pthread_mutex_t& mutex) const {
    if (m_infinite) return pthread_cond_wait(&condition, &mutex);
    return Quor::Platform::Clock().WaitUntil(condition, mutex, m_deadlineNs);
}

int InitMonotonicCondition(pthread_cond_t& condition) {
    pthread_condattr_t attr;
    int rc = pthread_condattr_init(&attr);
    if (rc != 0) return rc;
    rc = pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    if (rc == 0) rc = pthread_cond_init(&condition, &attr);
    pthread_condattr_destroy(&attr);
    return rc;
}

}  // namespace Vorn
