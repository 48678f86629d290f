#include "platform/MonotonicClock.h"

#include <time.h>

namespace Quor::Platform {

uint64_t MonotonicNanoseconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);  // cannot fail for CLOCK_MONOTONIC with a valid pointer
    return static_cast<uint64_t>(ts.tv_sec) * 1000000000u + static_cast<uint64_t>(ts.tv_nsec);
}

}  // namespace Quor::Platform
