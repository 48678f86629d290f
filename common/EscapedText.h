#pragma once
// Text from outside input (a stored path, a manifest entry's name) printed one item per line:
// EscapeText writes every control byte (below 0x20, and 0x7F) as "\xHH", and "\" and the quote
// character as "\\" and "\"", so that no name can end a line or forge another one;
// UnescapeText reverses it exactly (false for a stray "\" or a bad "\x" pair).
// Pure functions; thread-safe.
#include <string>

namespace Quor::Common {

std::string EscapeText(const std::string& text);
bool UnescapeText(const std::string& text, std::string& out);
// Whether EscapeText changes text.
bool NeedsEscape(const std::string& text);
// The value of one hexadecimal digit ("0"-"9", "a"-"f", "A"-"F"), or -1.
int HexDigitValue(char c);

}  // namespace Quor::Common
