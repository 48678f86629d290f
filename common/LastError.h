#pragma once
// The result of an operation that has just failed, taken from the last system error.
//
// LastErrorFailure logs the error text through Quor::Log::Internal::LogGetLastError under the
// caller's tag and returns its result. A failure that left errno at 0 would read as success
// there; it is logged at ERROR and reported as E_FAIL instead. Never returns a success code.
// Reentrant.
#include "foundation/Types.h"

namespace Quor::Common {

HRESULT LastErrorFailure(const char* tag);

}  // namespace Quor::Common
