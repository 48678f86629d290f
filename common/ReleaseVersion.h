#pragma once
// The release version that names no release. As a search argument it matches every version.
#include "foundation/Types.h"

namespace Quor {

inline constexpr DWORD INVALID_RELEASE_VERSION = 0xFFFFFFFF;

}  // namespace Quor
