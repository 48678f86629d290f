#pragma once
// Monotonic clock of the machine.
//
// MonotonicNanoseconds() counts nanoseconds from an arbitrary fixed point; it never goes back and
// does not follow changes of the wall clock. Safe to call from any thread; it cannot fail.
#include <cstdint>

namespace Quor::Platform {

uint64_t MonotonicNanoseconds();

}  // namespace Quor::Platform
