#pragma once
// ReadLine: one line of a C stream, of any length, without its line feed (nothing else is
// removed). False at the end of the stream or on an error before any byte was read; a last line
// without a line feed is still returned. Nothing is logged. Reentrant; the stream is the caller's.
#include <cstdio>
#include <string>

namespace Quor::Common {

bool ReadLine(FILE* stream, std::string& line);

}  // namespace Quor::Common
