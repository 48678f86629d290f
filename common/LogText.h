#pragma once
// Text from outside (a request, a server's answer, a file) as it may stand inside a log line.
//
// CutText escapes what could end or forge a line: every control byte (below 0x20, and 0x7F) as
// "\xHH", and "\" and the quote character as "\\" and "\"". It keeps at most `limit` bytes of
// that escaped text (never cutting an escape or a UTF-8 sequence in two); a text that did not fit
// ends with "...(cut, N bytes)", N being the length of the text it was given. So one statement
// logs a bounded amount whatever the size of the text. Pure function; thread-safe.
#include <cstddef>
#include <string>

namespace Quor::Log {

constexpr size_t kLogTextLimit = 256;

std::string CutText(const std::string& text, size_t limit = kLogTextLimit);

}  // namespace Quor::Log
