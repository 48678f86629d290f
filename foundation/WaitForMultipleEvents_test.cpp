#include "foundation/WaitForMultipleEvents.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "foundation/WaitResult.h"
#include "foundation/testing/WholeTimeOut.h"
#include "tests/kit/ObservedState.h"

using namespace Vorn;
using Clock = std::chrono::steady_clock;

namespace {
std::vector<std::shared_ptr<EventMultiWaitable>> MakeEvents(int n, bool manualReset) {
    std::vector<std::shared_ptr<EventMultiWaitable>> events;
    for (int i = 0; i < n; ++i) events.push_back(EventMultiWaitable::Create(manualReset, false));
    return events;
}
}  // namespace

TEST(WaitForMultipleEvents, AnyAnswersTheLowestSignalledIndex) {
    auto events = MakeEvents(3, false);
    events[1]->Set();
    events[2]->Set();
    EXPECT_EQ(WaitForMultipleEvents(3, events.data(), false, 1000), 1u);
    EXPECT_EQ(events[1]->Wait(0), WAIT_TIMEOUT) << "the reported auto-reset event must be cleared";
    EXPECT_EQ(events[2]->Wait(0), WAIT_OBJECT_0) << "the other event must stay signalled";
}

TEST(WaitForMultipleEvents, AnyTimesOutAndIsWokenBySet) {
    auto events = MakeEvents(3, true);
    EXPECT_EQ(WaitForMultipleEvents(3, events.data(), false, 0), WAIT_TIMEOUT);
    const auto start = Clock::now();
    EXPECT_EQ(WaitForMultipleEvents(3, events.data(), false, 300), WAIT_TIMEOUT);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(250));

    const std::vector<pid_t> before = QuorTest::ThreadIds();
    DWORD result = 12345;
    std::thread waiter([&] { result = WaitForMultipleEvents(3, events.data(), false, INFINITE); });
    EXPECT_TRUE(QuorTest::AwaitNewThreadsInConditionWait(before, 1)) << "the wait never began";
    events[2]->Set();
    waiter.join();
    EXPECT_EQ(result, 2u);
}

TEST(WaitForMultipleEvents, AllTimesOutWhenOneIsNeverSet) {
    auto events = MakeEvents(3, false);
    events[0]->Set();
    events[2]->Set();
    EXPECT_EQ(QuorTest::ResultAfterWholeTimeOut(1500, [&] { return WaitForMultipleEvents(3, events.data(), true, 1500); }),
              WAIT_TIMEOUT);
    // The events are looked at one after another: the first was taken before the time-out.
    EXPECT_EQ(events[0]->Wait(0), WAIT_TIMEOUT);
    EXPECT_EQ(events[2]->Wait(0), WAIT_OBJECT_0);
}

TEST(WaitForMultipleEvents, AllEndsWhenEveryEventWasSet) {
    auto events = MakeEvents(3, true);
    events[1]->Set();
    Quor::Platform::ManualClock clock;  // never moved: the wait is in progress until the last Set
    DWORD result = 12345;
    std::thread waiter([&] { result = WaitForMultipleEvents(3, events.data(), true, 30000); });
    clock.AwaitWaiters(1);
    events[2]->Set();
    events[0]->Set();
    waiter.join();
    EXPECT_EQ(result, WAIT_OBJECT_0);
}

TEST(WaitForMultipleEvents, AnEventListedTwiceCanStillBeSet) {
    auto event = EventMultiWaitable::Create(false, false);
    std::shared_ptr<EventMultiWaitable> list[2] = {event, event};
    const std::vector<pid_t> before = QuorTest::ThreadIds();
    DWORD result = 12345;
    std::thread waiter([&] { result = WaitForMultipleEvents(2, list, false, 30000); });
    EXPECT_TRUE(QuorTest::AwaitNewThreadsInConditionWait(before, 1)) << "the wait never began";
    event->Set();
    waiter.join();
    EXPECT_EQ(result, 0u);
}

TEST(WaitForMultipleEvents, RefusesBadLists) {
    auto events = MakeEvents(129, true);
    for (auto& e : events) e->Set();
    EXPECT_EQ(WaitForMultipleEvents(0, events.data(), false, 0), WAIT_FAILED);
    EXPECT_EQ(WaitForMultipleEvents(129, events.data(), false, 0), WAIT_FAILED);
    EXPECT_EQ(WaitForMultipleEvents(128, events.data(), false, 0), 0u);
    events[1].reset();
    EXPECT_EQ(WaitForMultipleEvents(3, events.data(), true, 0), WAIT_FAILED);
}
