#pragma once
// The system's time unit: an unsigned 64-bit count of 100-nanosecond ticks, and conversions
// from seconds and days. Pure functions; thread-safe.
#include <cstdint>

#include "foundation/Types.h"

namespace Quor::Common::Time {

typedef uint64_t TIME;

constexpr TIME kTicksPerSecond = 10000000;

// seconds x 10,000,000 as a 64-bit product.
constexpr TIME FromSeconds(DWORD seconds) { return TIME{seconds} * kTicksPerSecond; }

// (days x 86,400) x 10,000,000, the number of seconds being formed as a 32-bit product: exact
// for day counts up to 49,710.
constexpr TIME FromDays(DWORD days) { return TIME{static_cast<DWORD>(days * 86400u)} * kTicksPerSecond; }

}  // namespace Quor::Common::Time
