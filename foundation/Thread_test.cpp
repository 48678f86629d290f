#include "foundation/Thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "foundation/EventMultiWaitable.h"
#include "foundation/WaitResult.h"
#include "platform/ManualClock.h"

using namespace Vorn;

namespace {

// Runs until its release event is set; counts its runs.
struct Worker {
    std::shared_ptr<EventMultiWaitable> release = EventMultiWaitable::Create(true, false);
    std::atomic<int> finished{0};

    static uint32 Run(void* self) {
        auto* w = static_cast<Worker*>(self);
        w->release->Wait(INFINITE);
        ++w->finished;
        return 7;
    }
};

uint32 ReturnAtOnce(void*) { return 0; }

}  // namespace

TEST(Thread, JoinTimesOutWhileRunningAndJoinsAfterTheEnd) {
    Worker worker;
    auto thread = threadCreate(&Worker::Run, &worker);
    ASSERT_TRUE(threadIsValid(thread));
    EXPECT_EQ(threadJoin(thread, 0), WAIT_TIMEOUT);
    EXPECT_EQ(threadJoin(thread, 200), WAIT_TIMEOUT);
    worker.release->Set();
    EXPECT_EQ(threadJoin(thread, 30000), WAIT_OBJECT_0);
    EXPECT_EQ(worker.finished.load(), 1);
    // Joining again, with or without a limit, answers the same and never joins twice.
    EXPECT_EQ(threadJoin(thread, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(threadJoin(thread, 0), WAIT_OBJECT_0);
}

TEST(Thread, SeveralThreadsMayJoinOneThread) {
    Worker worker;
    auto thread = threadCreate(&Worker::Run, &worker);
    Quor::Platform::ManualClock clock;  // never moved: both joins are in progress until the release
    std::atomic<int> joined{0};
    std::thread a([&] { joined += threadJoin(thread, 30000) == WAIT_OBJECT_0; });
    std::thread b([&] { joined += threadJoin(thread, 30000) == WAIT_OBJECT_0; });
    clock.AwaitWaiters(2);
    worker.release->Set();
    a.join();
    b.join();
    EXPECT_EQ(joined.load(), 2);
}

TEST(Thread, DroppingTheLastHandleOfARunningThreadIsSafe) {
    Worker worker;
    std::weak_ptr<Thread> watch;
    {
        auto thread = threadCreate(&Worker::Run, &worker);
        ASSERT_TRUE(thread);
        watch = thread;
    }
    EXPECT_FALSE(watch.expired()) << "the running thread must keep its object alive";
    worker.release->Set();
    for (int i = 0; i < 3000 && !watch.expired(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(watch.expired()) << "the ended thread must release its object";
    EXPECT_EQ(worker.finished.load(), 1);
}

// A joined thread is never detached afterwards: its handle may already belong to a newer thread,
// which would then become impossible to join.
TEST(Thread, DroppingAJoinedThreadLeavesLaterThreadsJoinable) {
    for (int round = 0; round < 50; ++round) {
        auto first = threadCreate(&ReturnAtOnce, nullptr);
        ASSERT_EQ(threadJoin(first, INFINITE), WAIT_OBJECT_0);
        Worker worker;
        auto second = threadCreate(&Worker::Run, &worker);  // may reuse the first one's handle
        ASSERT_TRUE(second);
        first.reset();
        worker.release->Set();
        ASSERT_EQ(threadJoin(second, INFINITE), WAIT_OBJECT_0) << "round " << round;
    }
}

// threadTerminate never kills: the thread runs to its end, and its end is reported only then.
TEST(Thread, TerminateLetsTheThreadFinishOnItsOwn) {
    Worker worker;
    auto thread = threadCreate(&Worker::Run, &worker);
    EXPECT_TRUE(threadTerminate(thread, 0));
    EXPECT_EQ(threadJoin(thread, 100), WAIT_TIMEOUT) << "the thread still runs";
    worker.release->Set();
    EXPECT_EQ(threadJoin(thread, 30000), WAIT_OBJECT_0);
    EXPECT_EQ(worker.finished.load(), 1) << "the thread ran to its end";
    EXPECT_TRUE(threadTerminate(thread, 0));
}

TEST(Thread, NoEntryNoThread) {
    EXPECT_FALSE(threadCreate(nullptr, nullptr));
    EXPECT_FALSE(threadIsValid(nullptr));
    EXPECT_EQ(threadJoin(nullptr, 0), WAIT_FAILED);
    EXPECT_FALSE(threadTerminate(nullptr, 0));
}
