#pragma once
// Release versions: a 32-bit number a<<24 | b<<16 | c<<8 | d (each part 0..255) and its text
// "a.b.c.d".
//
// Every function is reentrant: the texts are returned per call (there is no shared buffer), so
// several versions may stand in one statement. In a log statement pass `.c_str()`:
//     QUOR_LOG(Log::DEBUG, "%s -> %s", ConvertVersion::ToString(a).c_str(),
//     ConvertVersion::ToString2(b).c_str());
#include <string>

#include "foundation/Types.h"

namespace Quor::Common {

class ConvertVersion {
public:
    // Reads four numbers "%d.%d.%d.%d" (white space before a number and any text after the fourth
    // are accepted); E_FAIL when fewer than four convert or a part is outside 0..255. version is
    // written only on success; nothing is logged.
    static HRESULT ToNumber(const std::string& text, DWORD& version);

    static std::string ToString(DWORD version);
    static std::string ToString2(DWORD version);  // the same as ToString
    static std::string& ToString(DWORD version, std::string& text);
};

}  // namespace Quor::Common
