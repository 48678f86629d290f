#include "common/Win32Helper.h"

namespace Quor::Common::Win32Helper {

DWORD GetThreadId(const std::shared_ptr<Vorn::Thread>& /*thread*/) { return 0; }
DWORD GetCurrentThreadId() { return 0; }

}  // namespace Quor::Common::Win32Helper
