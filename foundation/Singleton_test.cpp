#include "foundation/Singleton.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

std::atomic<int> g_constructed{0};

struct Counted {
    Counted() {
        ++g_constructed;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));  // widen the creation race
    }
};

TEST(Singleton, ManyThreadsGetOneInstance) {
    typedef Vorn::SingletonHolder<Counted> Holder;
    std::vector<std::thread> threads;
    std::vector<Counted*> seen(16, nullptr);
    for (size_t i = 0; i < seen.size(); ++i) threads.emplace_back([&, i] { seen[i] = &Holder::Instance(); });
    for (auto& t : threads) t.join();
    EXPECT_EQ(g_constructed.load(), 1);
    for (Counted* p : seen) EXPECT_EQ(p, seen[0]);
}

struct Loud {
    Loud() { std::fputs("made ", stderr); }
    ~Loud() { std::fputs("gone ", stderr); }
};
typedef Vorn::SingletonHolder<Loud, Loki::PhoenixSingleton> PhoenixLoud;

void UseAfterDestruction() { PhoenixLoud::Instance(); }

// A phoenix instance used by an exit handler that runs after its destruction is made again and
// destroyed again; the default lifetime destroys its instance once at exit.
TEST(Singleton, DestroyedAtExitAndPhoenixComesBack) {
    EXPECT_EXIT(
        {
            std::atexit(UseAfterDestruction);  // runs after the instance's own handler
            PhoenixLoud::Instance();
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "^made gone made gone $");
}

}  // namespace
