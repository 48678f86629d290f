#include "foundation/Event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "foundation/WaitResult.h"
#include "foundation/testing/WholeTimeOut.h"

using namespace Vorn;

TEST(Event, ZeroWaitTakesAnAutoResetSignalAndClearsIt) {
    auto autoReset = Event::Create(false, true);
    ASSERT_TRUE(autoReset);
    EXPECT_EQ(autoReset->Wait(0), WAIT_OBJECT_0);
    EXPECT_EQ(autoReset->Wait(0), WAIT_TIMEOUT) << "an auto-reset event must be cleared by the wait";

    auto manual = Event::Create(true, true);
    EXPECT_EQ(manual->Wait(0), WAIT_OBJECT_0);
    EXPECT_EQ(manual->Wait(0), WAIT_OBJECT_0) << "a manual-reset event stays signalled";
    manual->Reset();
    EXPECT_EQ(manual->Wait(0), WAIT_TIMEOUT);
}

TEST(Event, SetOnASignalledEventReportsTrue) {
    auto event = Event::Create(true, false);
    EXPECT_TRUE(event->Set());
    EXPECT_TRUE(event->Set());
    EXPECT_EQ(event->Wait(0), WAIT_OBJECT_0);
}

TEST(Event, TimedWaitRunsItsWholeTimeOut) {
    auto event = Event::Create(false, false);
    EXPECT_EQ(QuorTest::ResultAfterWholeTimeOut(1500, [&] { return event->Wait(1500); }), WAIT_TIMEOUT);
}

TEST(Event, SetWakesAWaiterOnAnotherThread) {
    auto event = Event::Create(false, false);
    Quor::Platform::ManualClock clock;  // never moved: the wait is in progress until Set
    std::atomic<DWORD> result{12345};
    std::thread waiter([&] { result = event->Wait(30000); });
    clock.AwaitWaiters(1);
    EXPECT_TRUE(event->Set());
    waiter.join();
    EXPECT_EQ(result.load(), WAIT_OBJECT_0);
    EXPECT_EQ(event->Wait(0), WAIT_TIMEOUT) << "the waiter consumed the signal";
}
