#include "foundation/Mutex.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "foundation/ThreadAnnotations.h"

using namespace Vorn;

TEST(Mutex, GuardsStateAcrossThreads) {
    auto mutex = Mutex::Create(false);
    long counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                EXPECT_EQ(mutex->Lock(), 0);
                ++counter;
                EXPECT_EQ(mutex->Unlock(), 0);
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(counter, 80000);
}

// A recursive mutex held twice is beyond clang's lock analysis, which knows a capability as held or
// not: the test's body is left out of it.
void TakeRecursiveMutexTwice() NO_THREAD_SAFETY_ANALYSIS {
    auto mutex = Mutex::Create(true);
    ASSERT_EQ(mutex->Lock(), 0);
    ASSERT_EQ(mutex->Lock(), 0);
    bool otherGotIt = false;
    std::thread other([&] {
        mutex->Lock();
        otherGotIt = true;
        mutex->Unlock();
    });
    EXPECT_EQ(mutex->Unlock(), 0);
    EXPECT_FALSE(otherGotIt);
    EXPECT_EQ(mutex->Unlock(), 0);
    other.join();
    EXPECT_TRUE(otherGotIt);
}

TEST(Mutex, RecursiveMutexIsTakenTwiceByOneThread) {
    TakeRecursiveMutexTwice();
}
