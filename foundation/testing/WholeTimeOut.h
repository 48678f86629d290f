#pragma once
// Test helper: runs a timed wait that nothing ends on a thread of its own under a manual clock,
// checks that it is still waiting one millisecond before its time-out and that it returns once
// the clock reaches it, and gives the wait's result. No real time passes.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "foundation/Types.h"
#include "platform/ManualClock.h"

namespace QuorTest {

template <class Wait>
DWORD ResultAfterWholeTimeOut(DWORD ms, Wait wait) {
    Quor::Platform::ManualClock clock;
    std::atomic<bool> returned{false};
    DWORD result = 0;
    std::thread waiter([&] {
        result = wait();
        returned = true;
    });
    clock.AwaitWaiters(1);
    clock.AdvanceMilliseconds(ms - 1);
    EXPECT_FALSE(returned) << "a " << ms << " ms wait ended early";
    clock.AdvanceMilliseconds(1);
    waiter.join();
    return result;
}

}  // namespace QuorTest
