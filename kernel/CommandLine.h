#pragma once
// The kernel's command line: words separated by blanks (only the blank; tabs belong to a word),
// double quotes grouping words into one argument with the blanks between them kept exactly, and
// option words ("-noupdate", "-tsr", "-debug", any case) wherever they stand outside quotes.
// Inside double quotes a word beginning with "-" is text, so a quoted path such as
// "/home/u/Kiv - Replays/a.vexl" stays one argument. A quote never closed runs to the end of the
// line. Any other option word is logged at ERROR and fails with 0xC1E90002. Thread-safe.
#include <string>
#include <vector>

#include "common/ErrorCodes.h"
#include "foundation/Types.h"

namespace Quor::Orvane {

constexpr DWORD OPTION_NOUPDATE = 1;
constexpr DWORD OPTION_TSR = 2;
constexpr DWORD OPTION_DEBUG = 4;

// stripQuotes: remove the grouping quotes (false keeps them, as the replay line needs).
HRESULT ParseCommandLine(const std::string& line, std::vector<std::string>& args, DWORD& options,
                         bool stripQuotes);

}  // namespace Quor::Orvane
