#include "foundation/Mutex.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace Vorn;

TEST(Mutex, GuardsStateAcrossThreads) {
    auto mutex = Mutex::Create(false);
    long counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                ASSERT_EQ(mutex->Lock(), 0);
                ++counter;
                ASSERT_EQ(mutex->Unlock(), 0);
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(counter, 80000);
}

TEST(Mutex, RecursiveMutexIsTakenTwiceByOneThread) {
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
