#include "foundation/WaitForMultipleEvents.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "foundation/WaitResult.h"
#include "foundation/testing/WholeTimeOut.h"

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

    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        events[2]->Set();
    });
    EXPECT_EQ(WaitForMultipleEvents(3, events.data(), false, INFINITE), 2u);
    setter.join();
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
    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        events[2]->Set();
        events[0]->Set();
    });
    EXPECT_EQ(WaitForMultipleEvents(3, events.data(), true, 30000), WAIT_OBJECT_0);
    setter.join();
}

TEST(WaitForMultipleEvents, AnEventListedTwiceCanStillBeSet) {
    auto event = EventMultiWaitable::Create(false, false);
    std::shared_ptr<EventMultiWaitable> list[2] = {event, event};
    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        event->Set();
    });
    EXPECT_EQ(WaitForMultipleEvents(2, list, false, 30000), 0u);
    setter.join();
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
