#pragma once
// The system's text of an error number (as strerror gives it), copied into a string. Reentrant.
#include <string>

namespace Quor::Common {

std::string SystemErrorText(int error);

}  // namespace Quor::Common
