#include "platform/Clock.h"

#include <time.h>

#include <atomic>
#include <cerrno>

#include "platform/MonotonicClock.h"

namespace Quor::Platform {

namespace {

constexpr uint64_t kNanosPerSecond = 1000000000u;

timespec ToTimespec(uint64_t ns) {
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(ns / kNanosPerSecond);
    ts.tv_nsec = static_cast<long>(ns % kNanosPerSecond);
    return ts;
}

class MachineClock final : public IClock {
public:
    uint64_t NowNanoseconds() override { return MonotonicNanoseconds(); }

    void Sleep(uint64_t ns) override {
        timespec remaining = ToTimespec(ns);
        while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
        }
    }

    int WaitUntil(pthread_cond_t& condition, pthread_mutex_t& mutex, uint64_t deadlineNs) override {
        const timespec at = ToTimespec(deadlineNs);
        return pthread_cond_timedwait(&condition, &mutex, &at);
    }
};

MachineClock sMachineClock;
std::atomic<IClock*> sClock{nullptr};

}  // namespace

IClock& RealClock() { return sMachineClock; }

IClock& Clock() {
    IClock* clock = sClock.load(std::memory_order_acquire);
    return clock ? *clock : sMachineClock;
}

void SetClock(IClock* clock) { sClock.store(clock, std::memory_order_release); }

}  // namespace Quor::Platform
