#pragma once
// The last socket error of the calling thread as a failure HRESULT (0x8007xxxx; E_FAIL when no
// error number was left).
#include "foundation/Sockets.h"
#include "foundation/Types.h"

namespace Quor::Orvane::WinSock {

inline HRESULT LastSocketError() {
    const int32_t error = Vorn::Sockets::GetLastError();
    if (error <= 0) return E_FAIL;
    return static_cast<HRESULT>(0x80070000u | (static_cast<uint32_t>(error) & 0xFFFFu));
}

}  // namespace Quor::Orvane::WinSock
