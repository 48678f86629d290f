#pragma once
// A clock for tests that moves only when the test says so.
//
// Time starts at one hour and moves forward only by Advance. Sleeps and timed waits on it block
// until Advance carries the clock past their end (a timed wait still returns at once when its
// condition is signalled), so a test that must see a wait time out advances the clock instead of
// sitting through it. AwaitWaiters lets the test order its steps by events: it returns once the
// given number of threads are blocked on the clock. A sleep or wait counts as blocked from its
// start until Advance reaches its end (or its condition wakes it). Installs itself as the process clock while it
// lives (one at a time); every member may be called from any thread.
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <set>

#include "platform/Clock.h"

namespace Quor::Platform {

class ManualClock final : public IClock {
public:
    ManualClock();
    ~ManualClock() override;
    ManualClock(const ManualClock&) = delete;
    ManualClock& operator=(const ManualClock&) = delete;

    uint64_t NowNanoseconds() override;
    void Sleep(uint64_t ns) override;
    int WaitUntil(pthread_cond_t& condition, pthread_mutex_t& mutex, uint64_t deadlineNs) override;

    // Moves the clock forward and releases the sleeps and waits whose end it reached.
    void Advance(uint64_t ns);
    void AdvanceMilliseconds(uint64_t ms) { Advance(ms * 1000000u); }
    // Blocks until at least count threads sleep or wait on the clock.
    void AwaitWaiters(unsigned count);
    // The same, giving up after realMs of real time: false when fewer threads came.
    bool AwaitWaitersFor(unsigned count, uint64_t realMs);
    // Threads sleeping or waiting on the clock now.
    unsigned Waiters();

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    uint64_t m_now;
    std::multiset<uint64_t> m_ends;  // of the sleeps and waits not yet released
};

}  // namespace Quor::Platform
