#pragma once
// Quor::API::Impl::DisconnectedConnection: the transport of a client without a kernel. It never
// receives a packet, counts as closed from the start and drops what is sent; a request manager
// over it hands out requests that are already complete with E_FAIL.
#include <memory>
#include <vector>

#include "api/IConnectionManager.h"

namespace Quor::API::Impl {

class DisconnectedConnection final : public IConnectionManager {
public:
    HRESULT SendPacket(const DWORD, const UINT, const BYTE* const) override { return E_FAIL; }
    std::shared_ptr<Vorn::EventMultiWaitable> GetEvent() const override { return m_Event; }
    std::shared_ptr<IAutoLock> GetAutoLock() override { return std::make_shared<Lock>(); }

private:
    class Lock final : public IAutoLock {
    public:
        std::vector<PACKET>& GetPackets() const override { return m_Packets; }
        bool IsClosed() const override { return true; }

    private:
        mutable std::vector<PACKET> m_Packets;
    };

    std::shared_ptr<Vorn::EventMultiWaitable> m_Event = Vorn::EventMultiWaitable::Create(false, false);
};

}  // namespace Quor::API::Impl
