#pragma once
// Decoding of request packets (program to kernel): dispatch to an IAppToOrvane, and a peek at the
// header.
//
// Pure functions of their arguments, callable from any thread. They never read outside the
// `size` bytes given. TranslateAndDispatch returns E_FAIL without calling the target for a packet
// shorter than its 12-byte header, a length word other than `size` (ERROR line), a type above 26
// (silent), or a body whose fields do not fit the packet (ERROR line naming the type); otherwise
// S_OK, whatever the target did. Bytes behind the last field are ignored.
#include "foundation/Types.h"
#include "protocol/IAppToOrvane.h"

namespace Quor::OrvaneProtocol::ToOrvane {

struct PEEK_PACKET_DATA {
    DWORD requestId = 0;
    DWORD isCancel = 0;  // 1 for a Cancel packet
};

HRESULT TranslateAndDispatch(const DWORD requester, const UINT size, const BYTE* const data,
                             IAppToOrvane& target);

// Reads a request's id and whether it is a Cancel. `out` is zeroed first and stays zero on failure
// (shorter than 12 bytes, or a length word other than `size`).
HRESULT PeekPacket(const UINT size, const BYTE* const data, PEEK_PACKET_DATA& out);

}  // namespace Quor::OrvaneProtocol::ToOrvane
