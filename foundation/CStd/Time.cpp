// Time of the bounded runtime (see CStdTime.h).
#include <sys/time.h>

#include <atomic>
#include <ctime>

#include "foundation/CStd/CStd.h"
#include "platform/Clock.h"
#include "platform/MonotonicClock.h"

namespace Vorn {

namespace {
// Seconds per frame of deterministic time (single precision, bits 0x3D089305).
constexpr float kFrameSeconds = 0.033343334f;

// Deterministic time: switched and stepped by one thread, read by any.
std::atomic<bool> sIsActive{false};
std::atomic<float> sStartTime{0.0f};
std::atomic<uint64_t> sFrameCount{0};

// Monotonic nanoseconds at the timer's first use.
uint64_t TimerStart() {
    static const uint64_t start = Quor::Platform::MonotonicNanoseconds();
    return start;
}

float ElapsedSeconds() {
    uint64_t start = TimerStart();
    uint64_t now = Quor::Platform::MonotonicNanoseconds();
    return static_cast<float>(static_cast<double>(now - start) * 1e-9);
}
}  // namespace

void std_sleep(uint32_t ms) {
    Quor::Platform::Clock().Sleep(static_cast<uint64_t>(ms) * 1000000u);
}

float std_time() {
    if (sIsActive.load(std::memory_order_acquire)) {
        float frames = static_cast<float>(sFrameCount.load(std::memory_order_relaxed));
        return frames * kFrameSeconds + sStartTime.load(std::memory_order_relaxed);
    }
    return ElapsedSeconds();
}

uint32_t std_ticks() {
    float ms = std_time() * 1000.0f;
    return static_cast<uint32_t>(static_cast<int64_t>(ms));
}

uint32_t std_time_get_time() {
    timeval tv{};
    if (gettimeofday(&tv, nullptr) != 0) return 0;
    uint64_t ms = static_cast<uint64_t>(tv.tv_sec) * 1000u + static_cast<uint64_t>(tv.tv_usec) / 1000u;
    return static_cast<uint32_t>(ms);
}

void std_sys_local_time(uint32_t& year, uint32_t& month, uint32_t& day, uint32_t& hour,
                        uint32_t& minute, uint32_t& second, uint32_t& millisecond) {
    time_t now = time(nullptr);
    struct tm local {};
    localtime_r(&now, &local);
    year = static_cast<uint32_t>(1900 + local.tm_year);
    month = static_cast<uint32_t>(local.tm_mon + 1);
    day = static_cast<uint32_t>(local.tm_mday);
    hour = static_cast<uint32_t>(local.tm_hour);
    minute = static_cast<uint32_t>(local.tm_min);
    second = static_cast<uint32_t>(local.tm_sec);
    millisecond = 0;
}

bool std_sys_local_time_to_utc(uint32_t year, uint32_t month, uint32_t day, uint32_t hour,
                               uint32_t minute, uint32_t second, uint32_t, uint64_t& out) {
    struct tm local {};
    local.tm_year = static_cast<int>(year) - 1900;
    local.tm_mon = static_cast<int>(month) - 1;
    local.tm_mday = static_cast<int>(day);
    local.tm_hour = static_cast<int>(hour);
    local.tm_min = static_cast<int>(minute);
    local.tm_sec = static_cast<int>(second);
    local.tm_isdst = -1;  // daylight saving as in force on that date
    time_t t = mktime(&local);
    if (t == static_cast<time_t>(-1)) return false;
    out = static_cast<uint64_t>(static_cast<int64_t>(t));
    return true;
}

void std_sys_utc_time(uint64_t& out) { out = static_cast<uint64_t>(static_cast<int64_t>(time(nullptr))); }

namespace Determinism {

void activate_deterministic_mode() {
    TimerStart();
    sStartTime.store(std_time(), std::memory_order_relaxed);
    sIsActive.store(true, std::memory_order_release);
}

void increment_deterministic_frame_count() {
    if (sIsActive.load(std::memory_order_acquire)) sFrameCount.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace Determinism

}  // namespace Vorn
