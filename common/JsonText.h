#pragma once
// A text as a JSON string literal: quotes around it, and '"', '\' and control characters escaped,
// so that any byte string from a listing yields valid JSON. Pure function.
#include <string>

namespace Quor::Common {

std::string JsonString(const std::string& text);

}  // namespace Quor::Common
