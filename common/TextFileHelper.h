#pragma once
// Line-per-value text files: one string, one unsigned number or one version per line, on C
// streams opened by the caller in text mode.
//
// Strings are read through a buffer of maxLength bytes (at most maxLength - 1 characters; a
// longer line comes back in pieces, the next call returning the rest), numbers and versions
// through a 256-byte buffer. Trailing carriage returns and line feeds are removed. Numbers are
// read with base 0 (decimal, "0x" hexadecimal, leading-0 octal); text after a number is accepted.
//
// Errors: every failure is an HRESULT logged at ERROR under the operation's tag. When no line is
// left, the read operations return E_END_OF_FILE (a failure, logged at DEBUG only) and leave their
// output unchanged: callers that read to the end of a file stop on that code. Reentrant.
#include <cstdio>
#include <string>

#include "foundation/Types.h"

namespace Quor::Common {

class TextFileHelper {
public:
    // No line left to read (the code of a read at the end of a file).
    static constexpr HRESULT E_END_OF_FILE = static_cast<HRESULT>(0x80070026u);

    static HRESULT ReadString(FILE* stream, std::string& text, SIZE_T maxLength);
    static HRESULT WriteString(FILE* stream, const std::string& text);
    static HRESULT ReadDWORD(FILE* stream, DWORD& value);
    static HRESULT WriteDWORD(FILE* stream, DWORD value);
    static HRESULT ReadVersion(FILE* stream, DWORD& version);
    static HRESULT WriteVersion(FILE* stream, DWORD version);
};

}  // namespace Quor::Common
