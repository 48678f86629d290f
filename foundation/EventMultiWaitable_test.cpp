#include "foundation/EventMultiWaitable.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "foundation/WaitForMultipleEvents.h"
#include "foundation/WaitResult.h"
#include "foundation/testing/WholeTimeOut.h"
#include "tests/kit/ObservedState.h"

using namespace Vorn;

TEST(EventMultiWaitable, ZeroWaitAndSetWithoutWaiters) {
    struct Case {
        bool manualReset;
        DWORD secondWait;
    };
    for (const Case c : {Case{false, WAIT_TIMEOUT}, Case{true, WAIT_OBJECT_0}}) {
        SCOPED_TRACE(c.manualReset ? "manual reset" : "auto reset");
        auto event = EventMultiWaitable::Create(c.manualReset, false);
        EXPECT_EQ(event->Wait(0), WAIT_TIMEOUT) << "an unsignalled event must not block a zero wait";
        EXPECT_TRUE(event->Set());  // nobody waits: the event stays signalled
        EXPECT_EQ(event->Wait(0), WAIT_OBJECT_0);
        EXPECT_EQ(event->Wait(0), c.secondWait);
        event->Reset();
        EXPECT_EQ(event->Wait(0), WAIT_TIMEOUT);
    }
}

TEST(EventMultiWaitable, TimedWaitRunsItsWholeTimeOut) {
    auto event = EventMultiWaitable::Create(false, false);
    EXPECT_EQ(QuorTest::ResultAfterWholeTimeOut(1500, [&] { return event->Wait(1500); }), WAIT_TIMEOUT);
}

TEST(EventMultiWaitable, CannotBeOpenedByIdentifier) {
    EXPECT_FALSE(EventMultiWaitable::CreateFromEventID(EventMultiWaitableID{7}));
}

// Every thread that waits at the moment of Set wakes up. For a manual-reset event all of them see
// it signalled; for an auto-reset event one wait on any of several events ends for each waiter
// (with the event, or woken with none left signalled) instead of sleeping on.
TEST(EventMultiWaitable, SetWakesEveryWaiter) {
    constexpr int kWaiters = 6;
    for (bool manualReset : {true, false}) {
        SCOPED_TRACE(manualReset ? "manual reset" : "auto reset");
        auto event = EventMultiWaitable::Create(manualReset, false);
        const std::vector<pid_t> before = QuorTest::ThreadIds();
        std::vector<DWORD> results(kWaiters, 12345);
        std::vector<std::thread> waiters;
        for (int i = 0; i < kWaiters; ++i) {
            waiters.emplace_back([&, i] {
                results[i] = manualReset ? event->Wait(INFINITE) : WaitForMultipleEvents(1, &event, false, 30000);
            });
        }
        EXPECT_TRUE(QuorTest::AwaitNewThreadsInConditionWait(before, kWaiters)) << "not every waiter reached its wait";
        EXPECT_TRUE(event->Set());
        for (auto& t : waiters) t.join();
        int signalled = 0;
        for (DWORD r : results) {
            EXPECT_TRUE(r == WAIT_OBJECT_0 || (!manualReset && r == WAIT_NONE_SIGNALLED)) << "result " << r;
            signalled += r == WAIT_OBJECT_0;
        }
        if (manualReset)
            EXPECT_EQ(signalled, kWaiters);
        else
            EXPECT_GE(signalled, 1);
    }
}
