#pragma once
// Time of the bounded runtime: the program timer (seconds and milliseconds since its first use,
// on the monotonic clock), deterministic time, wall-clock and calendar time, and sleeping.
//
// The timer's set-up on first use is thread-safe. Deterministic time is switched on and stepped
// by one thread (the one that draws frames); any thread may read the time.
#include <cstdint>

#include "foundation/CStd/CStdTypes.h"

namespace Vorn {

// Sleeps ms milliseconds on the process clock (Quor::Platform::Clock(); any 32-bit value; resumes
// after signals).
void std_sleep(uint32_t ms);

// Seconds since the first use of the timer, single precision. In deterministic mode: the time at
// activation plus 0.033343334 s per frame step.
float std_time();
// std_time() in milliseconds, as a 32-bit integer (wraps after about 49.7 days).
uint32_t std_ticks();
// Wall-clock milliseconds (seconds * 1000 + microseconds / 1000), wrapping in 32 bits; 0 on error.
uint32_t std_time_get_time();

// Local calendar time: year in full, month 1..12, millisecond always 0.
void std_sys_local_time(uint32_t& year, uint32_t& month, uint32_t& day, uint32_t& hour,
                        uint32_t& minute, uint32_t& second, uint32_t& millisecond);
// Local calendar time to seconds since 1970 (daylight saving as in force on that date);
// false when it cannot be converted. millisecond is ignored.
bool std_sys_local_time_to_utc(uint32_t year, uint32_t month, uint32_t day, uint32_t hour,
                               uint32_t minute, uint32_t second, uint32_t millisecond, uint64_t& out);
// Seconds since 1970.
void std_sys_utc_time(uint64_t& out);

namespace Determinism {
// From now on std_time() reports the current time plus 0.033343334 s per frame step.
void activate_deterministic_mode();
// One frame step; does nothing unless deterministic mode is active.
void increment_deterministic_frame_count();
}  // namespace Determinism

}  // namespace Vorn
