#include "common/Time.h"

#include <gtest/gtest.h>

namespace {

using namespace Quor::Common;

TEST(Time, FromSecondsAndDays) {
    EXPECT_EQ(Time::FromSeconds(60), 600000000ull);
    EXPECT_EQ(Time::FromSeconds(0xFFFFFFFFu), 0xFFFFFFFFull * 10000000ull);
    EXPECT_EQ(Time::FromDays(1), 864000000000ull);
    EXPECT_EQ(Time::FromDays(16), 16ull * 864000000000ull);
    EXPECT_EQ(Time::FromDays(49710), 49710ull * 864000000000ull);
    // The seconds are a 32-bit product, so the day count past 49,710 wraps.
    EXPECT_EQ(Time::FromDays(49711), ((49711ull * 86400ull) & 0xFFFFFFFFull) * 10000000ull);
}

}  // namespace
