#pragma once
// The kernel's start-up check of the address-range file named by the "BlockedAddressRanges" setting.
//
// IsHostAddressBlocked reads and verifies the file and answers whether this host is blocked; the
// ranges are not yet compared with any address, so a well-formed file (or no file name at all)
// answers "not blocked". A file that cannot be opened, read or parsed is a failure, logged at
// ERROR, that stops the kernel. Thread-safe (no state).
#include <string>
#include <utility>
#include <vector>

#include "foundation/Types.h"

namespace Quor::Orvane {

HRESULT IsHostAddressBlocked(const std::string& fileName, bool& blocked);

// The ranges (first, last) of every line after the header. Exposed for tests.
HRESULT ParseAddressRanges(const std::string& fileName, std::vector<std::pair<UINT, UINT>>& ranges);

}  // namespace Quor::Orvane
