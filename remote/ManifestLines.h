#pragma once
// Helpers shared by the readers of the comma-separated manifest lines (package and patch
// manifests). Stateless; thread-safe.
#include <cstdlib>

#include "foundation/Types.h"

namespace Quor::Common::ManifestLines {

// A decimal field as the C library's atoi reads it (white space first, an optional sign, digits
// up to the first other character, 0 without digits), kept as the 32-bit pattern of the number:
// "-1" and "4294967295" both give 0xFFFFFFFF, so values written with "%d" read back unchanged.
inline DWORD ParseDecimal(const char* text) {
    return static_cast<DWORD>(static_cast<uint64_t>(strtoll(text, nullptr, 10)));
}

}  // namespace Quor::Common::ManifestLines
