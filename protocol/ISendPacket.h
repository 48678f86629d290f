#pragma once
// The transport the protocol's senders write to: one call hands over one whole packet.
//
// The client's and the kernel's connection managers implement it. `connection` names the peer
// (clients pass 0; the kernel passes the connection's socket descriptor). The data belongs to the
// caller and is valid only during the call. Implementations say which threads may call them.
// Not deleted through this interface.
#include "foundation/Types.h"

namespace Quor::OrvaneProtocol {

class ISendPacket {
public:
    virtual HRESULT SendPacket(const DWORD connection, const UINT size, const BYTE* const data) = 0;

protected:
    ~ISendPacket() = default;
};

}  // namespace Quor::OrvaneProtocol
