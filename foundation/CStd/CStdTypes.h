#pragma once
// Size type and count marker of the bounded runtime (see CStd.h).
#include <cstdint>

// Count of destination elements (bytes for char, units for wchar_t), terminator included.
typedef uint32_t uint_size;

// Count that makes a bounded copy cut the text to fit instead of failing.
constexpr uint_size TRUNCATE = 0xFFFFFFFFu;

namespace Vorn {
using ::TRUNCATE;
using ::uint_size;
}  // namespace Vorn
