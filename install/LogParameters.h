#pragma once
// SetLogParameters: sets the level of the process's log (lines of that level and more important
// ones are written). Any thread; always S_OK.
#include "foundation/Types.h"

namespace Quor::User {

HRESULT SetLogParameters(const UINT logLevel);

}  // namespace Quor::User
