#pragma once
// The client's transport to the kernel: sends request packets and collects the packets received.
//
// Received packets wait in a list in arrival order; the packets event (auto-reset) is set after
// each arrival and once when the connection ends. The list, and whether the connection has ended,
// may be read only while an IAutoLock of the manager lives; that lock is not recursive. SendPacket
// may be called from any thread and never interleaves two packets; it takes no other lock.
#include <memory>
#include <vector>

#include "foundation/EventMultiWaitable.h"
#include "foundation/Types.h"
#include "protocol/ISendPacket.h"

namespace Quor::API::Impl {

// One whole packet cut from the kernel's byte stream, header included; owns its bytes.
struct PACKET {
    DWORD connection = 0;
    UINT size = 0;
    std::unique_ptr<BYTE[]> data;
};

class IConnectionManager : public Quor::OrvaneProtocol::ISendPacket {
public:
    class IAutoLock {
    public:
        virtual ~IAutoLock() {}
        virtual std::vector<PACKET>& GetPackets() const = 0;
        // True once the connection has ended: no packet will arrive any more.
        virtual bool IsClosed() const = 0;
    };

    virtual ~IConnectionManager() {}
    virtual std::shared_ptr<Vorn::EventMultiWaitable> GetEvent() const = 0;
    virtual std::shared_ptr<IAutoLock> GetAutoLock() = 0;
};

}  // namespace Quor::API::Impl
