#pragma once
// The absolute end of a timed wait, and the condition variables that wait for it.
//
// A deadline is taken once, before any waiting, from the process clock (Quor::Platform::Clock():
// monotonic, so that a change of the wall-clock time neither stretches nor cuts a wait short; a
// test's manual clock ends the wait when the test advances it); INFINITE gives no deadline.
// Condition variables that wait with a deadline must be made by InitMonotonicCondition. Value
// type; no lock.
#include <pthread.h>
#include <time.h>

#include <cstdint>

#include "foundation/Types.h"

namespace Vorn {

class WaitDeadline {
public:
    // The deadline ms milliseconds from now; none for INFINITE.
    static WaitDeadline After(DWORD ms);

    bool IsInfinite() const { return m_infinite; }
    // The deadline on the machine's monotonic clock, for waits that cannot go through the process
    // clock (semaphores).
    const timespec& At() const { return m_at; }
    // pthread_cond_wait, or pthread_cond_timedwait until the deadline; returns their result
    // (0, ETIMEDOUT or another error). The condition must come from InitMonotonicCondition.
    int Wait(pthread_cond_t& condition, pthread_mutex_t& mutex) const;

private:
    bool m_infinite = true;
    uint64_t m_deadlineNs = 0;  // on the process clock
    timespec m_at{};
};

// pthread_cond_init on the monotonic clock; returns the pthread result.
int InitMonotonicCondition(pthread_cond_t& condition);

}  // namespace Vorn
