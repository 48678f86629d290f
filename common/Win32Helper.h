#pragma once
// Thread identifiers for log lines. This platform has no numeric thread identifier to show: both
// functions answer 0. Thread-safe.
#include <memory>

#include "foundation/Types.h"

namespace Vorn {
class Thread;
}

namespace Quor::Common::Win32Helper {

DWORD GetThreadId(const std::shared_ptr<Vorn::Thread>& thread);
DWORD GetCurrentThreadId();

}  // namespace Quor::Common::Win32Helper
