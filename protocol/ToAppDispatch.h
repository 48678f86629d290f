#pragma once
// Decoding of kernel packets (responses and progress reports) and dispatch to an IOrvaneToApp.
//
// Pure functions of their arguments, callable from any thread. They never read outside the bytes
// given. TranslateAndDispatch returns E_FAIL without calling the target for a packet shorter than
// its 16-byte header, a length word other than `size` (ERROR line), a type above 26 (silent), or a
// body whose fields do not fit the packet (ERROR line naming the type); otherwise S_OK, whatever
// the target did. Bytes behind the last field are ignored.
#include <string>
#include <vector>

#include "foundation/Types.h"
#include "protocol/IOrvaneToApp.h"

namespace Quor::OrvaneProtocol::ToApp {

HRESULT TranslateAndDispatch(const DWORD requester, const UINT size, const BYTE* const data,
                             IOrvaneToApp& target);

// Reads a string array (count word, then the strings) from the `size` bytes at `data`. Empties
// `out` first; false (and `out` empty) when the count or a string does not fit those bytes.
bool ReadStringArray(const void* data, size_t size, std::vector<std::string>& out);

}  // namespace Quor::OrvaneProtocol::ToApp
