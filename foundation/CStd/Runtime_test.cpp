// Time, memory, wide strings, conversions, program paths and the exception of the bounded runtime.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <atomic>
#include <string>
#include <thread>

#include "foundation/CStd/CStd.h"
#include "platform/ManualClock.h"

namespace {

using namespace Vorn;

TEST(CStdTime, DeterministicTimeStandsStillBetweenFrameSteps) {
    Determinism::increment_deterministic_frame_count();  // inactive: no effect
    float before = std_time();
    Determinism::activate_deterministic_mode();
    float start = std_time();
    EXPECT_GE(start, before);
    EXPECT_EQ(std_time(), start);
    std_sleep(2);
    EXPECT_EQ(std_time(), start);
    Determinism::increment_deterministic_frame_count();
    EXPECT_EQ(std_time(), 1.0f * 0.033343334f + start);
    Determinism::increment_deterministic_frame_count();
    EXPECT_EQ(std_time(), 2.0f * 0.033343334f + start);
    EXPECT_EQ(std_ticks(), static_cast<uint32_t>(static_cast<int64_t>(std_time() * 1000.0f)));
}

TEST(CStdTime, TimerNeverGoesBack) {
    float t0 = std_time();
    uint32_t k0 = std_ticks();
    std_sleep(5);
    EXPECT_GE(std_time(), t0);
    EXPECT_GE(std_ticks(), k0);
    EXPECT_NE(std_time_get_time(), 0u);
}

TEST(CStdTime, SleepLongerThanSeventyOneMinutesDoesNotWrap) {
    // 4294968 ms is the first count whose microseconds overflow 32 bits (to about 0.7 ms): the
    // sleep must still be running after 4294967 ms and end at the next millisecond.
    Quor::Platform::ManualClock clock;
    std::atomic<bool> done{false};
    std::thread sleeper([&] {
        std_sleep(4294968u);
        done = true;
    });
    clock.AwaitWaiters(1);
    clock.AdvanceMilliseconds(4294967u);
    EXPECT_EQ(clock.Waiters(), 1u);
    EXPECT_FALSE(done);
    clock.AdvanceMilliseconds(1);
    sleeper.join();
    EXPECT_TRUE(done);
}

TEST(CStdTime, LocalTimeConvertsToUtcAndBack) {
    uint32_t year, month, day, hour, minute, second, millisecond = 99;
    std_sys_local_time(year, month, day, hour, minute, second, millisecond);
    EXPECT_GE(year, 2024u);
    EXPECT_GE(month, 1u);
    EXPECT_LE(month, 12u);
    EXPECT_EQ(millisecond, 0u);

    uint64_t utc = 0;
    ASSERT_TRUE(std_sys_local_time_to_utc(2021, 7, 15, 13, 14, 15, 0, utc));
    time_t t = static_cast<time_t>(utc);
    struct tm local {};
    localtime_r(&t, &local);
    EXPECT_EQ(local.tm_year, 121);
    EXPECT_EQ(local.tm_mon, 6);
    EXPECT_EQ(local.tm_mday, 15);
    EXPECT_EQ(local.tm_hour, 13);
    EXPECT_EQ(local.tm_min, 14);
    EXPECT_EQ(local.tm_sec, 15);

    uint64_t now = 0;
    std_sys_utc_time(now);
    EXPECT_GT(now, 1600000000u);
}

TEST(CStdMemory, AlignedBlocksForEveryAlignment) {
    for (size_t alignment = 4; alignment <= 128; alignment *= 2) {
        for (size_t size : {size_t{0}, size_t{1}, size_t{100}}) {
            void* p = std_aligned_malloc(size, alignment);
            ASSERT_NE(p, nullptr);
            EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % alignment, 0u) << alignment;
            std_memset(p, 0xAB, size);  // the whole block is usable (ASan checks the bounds)
            std_aligned_free(p);
        }
    }
    std_aligned_free(nullptr);
    EXPECT_EQ(std_aligned_malloc(16, 2), nullptr);
    EXPECT_EQ(std_aligned_malloc(16, 24), nullptr);
    EXPECT_EQ(std_aligned_malloc(16, 256), nullptr);
    EXPECT_EQ(std_aligned_malloc(SIZE_MAX - 8, 16), nullptr);
    EXPECT_GE(std_page_size(), 4096u);
}

TEST(CStdMemory, MemcpyHonoursTheDestinationSize) {
    char dest[8];
    std::memset(dest, 'X', sizeof dest);
    std_memcpy(dest, 4, "abcdefgh", 8);
    EXPECT_EQ(std::string(dest, 8), "abcdXXXX");
    std_memcpy(dest, sizeof dest, "12345678", 8);
    EXPECT_EQ(std_memcmp(dest, "12345678", 8), 0);
    std_memzero(dest, 3);
    EXPECT_EQ(std::string(dest, 8), std::string("\0\0\0" "45678", 8));
}

TEST(CStdWide, SizedCopiesCutAndCompareWithoutCase) {
    wchar_t buf[8];
    std_wcscpy(buf, 4, L"abcdef");
    EXPECT_STREQ(buf, L"abc");
    std_wcscpy(buf, 8, L"ab");
    std_wcscat(buf, 5, L"cdef");
    EXPECT_STREQ(buf, L"abcd");
    EXPECT_EQ(std_wcslen(buf), 4u);
    EXPECT_EQ(std_wcschr(buf, L'c'), buf + 2);

    EXPECT_EQ(std_wcsicmp(L"HeLLo", L"hello"), 0);
    EXPECT_LT(std_wcsicmp(L"ABC", L"abd"), 0);
    EXPECT_GT(std_wcsicmp(L"abcd", L"ABC"), 0);
    wchar_t* copy = std_wcsdup(L"copy");
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy, L"copy");
    std_free(copy);

    wchar_t small[4];
    EXPECT_EQ(std_swprintf(small, 4, L"%ls", L"abcdef"), -1);
    EXPECT_EQ(small[3], L'\0');
    EXPECT_EQ(std_swprintf(buf, 8, L"%d", 42), 2);
    EXPECT_STREQ(buf, L"42");
    EXPECT_EQ(std_watoi(L" -17x"), -17);
}

TEST(CStdWide, ConversionsTerminateAFullDestination) {
    std::setlocale(LC_CTYPE, "C.UTF-8");
    wchar_t wide[4];
    std::fill(std::begin(wide), std::end(wide), L'X');
    EXPECT_EQ(std_mbstowcs(wide, 4, "abcdef"), 4u);
    EXPECT_EQ(wide[3], L'\0');
    EXPECT_EQ(std_mbstowcs(wide, 4, "ab"), 2u);
    EXPECT_STREQ(wide, L"ab");
    char narrow[4];
    EXPECT_EQ(std_wcstombs(narrow, 4, L"\u00e9z"), 3u);
    EXPECT_STREQ(narrow, "\xC3\xA9z");
}

TEST(CStdConversions, NumbersAndErrorTexts) {
    EXPECT_EQ(std_atoi("42"), 42);
    EXPECT_EQ(std_atol("-2147483648"), INT32_MIN);
    EXPECT_EQ(std_atol("-99999999999"), INT32_MIN);
    EXPECT_EQ(std_atol("0x10"), 0);  // decimal only
    EXPECT_DOUBLE_EQ(std_atof("2.5e3"), 2500.0);
    int a = 0;
    char word[8] = {};
    EXPECT_EQ(std_sscanf("7 seven", "%d %7s", &a, word), 2);
    EXPECT_EQ(a, 7);
    EXPECT_STREQ(word, "seven");

    char text[64];
    EXPECT_EQ(std_strerror(text, sizeof text, ENOENT), 0);
    EXPECT_STREQ(text, std::strerror(ENOENT));
    char small[5];
    EXPECT_EQ(std_strerror(ENOENT, small, sizeof small), 0);
    EXPECT_EQ(std::string(small), std::string(std::strerror(ENOENT)).substr(0, 4));
    dbg_output("nothing happens");
}

TEST(CStdModule, PathsOfTheRunningProgram) {
    char expected[4096];
    ASSERT_NE(realpath("/proc/self/exe", expected), nullptr);
    char buf[1024];
    ASSERT_TRUE(std_get_module_fullpath(sizeof buf, buf));
    EXPECT_STREQ(buf, expected);
    ASSERT_TRUE(std_get_module_filename(sizeof buf, buf));
    EXPECT_STREQ(buf, std::strrchr(expected, '/') + 1);
    ASSERT_TRUE(std_get_module_directory(sizeof buf, buf));
    EXPECT_EQ(std::string(buf), std::string(expected, std::strrchr(expected, '/')));

    EXPECT_FALSE(std_get_module_fullpath(0, buf));
    EXPECT_FALSE(std_get_module_filename(sizeof buf, nullptr));
    char tiny[4] = "abc";
    EXPECT_FALSE(std_get_module_fullpath(sizeof tiny, tiny));  // does not fit: refused, not cut
    EXPECT_STREQ(tiny, "");
    EXPECT_FALSE(std_get_module_directory(sizeof tiny, tiny));
}

TEST(CStdException, TextIsCopiedAndBounded) {
    EXPECT_STREQ(std_exception().what(), "unknown");
    EXPECT_STREQ(std_exception(nullptr).what(), "unknown");
    std::string text = "failure";
    std_exception e(text.c_str());
    text[0] = 'X';
    EXPECT_STREQ(e.what(), "failure");
    std::string longText(5000, 'q');
    EXPECT_EQ(std::strlen(std_exception(longText.c_str()).what()), 1023u);
    try {
        throw std_exception("thrown");
    } catch (const std::exception& caught) {
        EXPECT_STREQ(caught.what(), "thrown");
    }
}

}  // namespace
