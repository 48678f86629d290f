// The bounded wait for threads that block on the manual clock.
#include "platform/ManualClock.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(ManualClock, AwaitWaitersForAnswersWhetherTheThreadsCame) {
    Quor::Platform::ManualClock clock;
    EXPECT_FALSE(clock.AwaitWaitersFor(1, 10)) << "nobody sleeps on the clock";
    std::thread sleeper([&] { clock.Sleep(5000000000u); });
    EXPECT_TRUE(clock.AwaitWaitersFor(1, 20000)) << "the sleeping thread was not seen";
    clock.Advance(5000000000u);
    sleeper.join();
    EXPECT_EQ(0u, clock.Waiters());
}

}  // namespace
