#pragma once
// Quor::Orvane::IConnectionManager: the kernel's transport. Receive threads deliver whole requests
// and ended connections into two lists; the request server drains them under the scoped lock
// (IAutoLock) and waits on the packets-pending event, which is signalled exactly while either
// list holds something once the lock is released. SendPacket writes one whole packet to one
// connection (several threads may send; packets to one connection never interleave).
// CloseAll stops listening and closes every connection for good; later sends fail.
#include <memory>
#include <vector>

#include "foundation/Types.h"
#include "kernel/PACKET.h"
#include "protocol/ISendPacket.h"

namespace Vorn {
class EventMultiWaitable;
}

namespace Quor::Orvane {

class IConnectionManager : public Quor::OrvaneProtocol::ISendPacket {
public:
    class IAutoLock {
    public:
        virtual std::vector<PACKET>& GetPackets() = 0;
        virtual std::vector<DWORD>& GetDisconnections() = 0;
        virtual ~IAutoLock() = default;
    };

    virtual std::shared_ptr<Vorn::EventMultiWaitable> GetPacketEvent() = 0;
    virtual std::shared_ptr<IAutoLock> CreateAutoLock() = 0;
    virtual void CloseAll() = 0;
    virtual ~IConnectionManager() = default;
};

}  // namespace Quor::Orvane
