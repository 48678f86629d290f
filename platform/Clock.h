#pragma once
// The clock every timed wait and sleep of the system reads: monotonic time, sleeping, and waiting
// on a condition variable until a deadline of that clock.
//
// Clock() is the real monotonic clock unless a test installed another one (SetClock), such as the
// ManualClock, which lets a test move time forward instead of sitting through timeouts. A clock
// is installed before the threads that wait on it start and stays until they ended. Every member
// may be called from any thread; none fails (a failed pthread call is returned as its result).
#include <pthread.h>

#include <cstdint>

namespace Quor::Platform {

class IClock {
public:
    virtual ~IClock() = default;
    // Nanoseconds from an arbitrary fixed point; never goes back.
    virtual uint64_t NowNanoseconds() = 0;
    // Returns once the clock has moved on by at least ns.
    virtual void Sleep(uint64_t ns) = 0;
    // pthread_cond_wait on condition (mutex held by the caller) that also returns ETIMEDOUT once
    // the clock reached deadlineNs; 0 when woken (possibly spuriously). The condition must be made
    // on CLOCK_MONOTONIC.
    virtual int WaitUntil(pthread_cond_t& condition, pthread_mutex_t& mutex, uint64_t deadlineNs) = 0;
};

// The installed clock (the real one by default).
IClock& Clock();
// The machine's monotonic clock.
IClock& RealClock();
// Installs clock for the whole process; nullptr puts the real clock back. The clock must outlive
// every wait that reads it.
void SetClock(IClock* clock);

}  // namespace Quor::Platform
