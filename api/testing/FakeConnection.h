#pragma once
// Test helper: an in-memory connection manager. Records every packet sent (and answers the result
// the test chose), queues the packets a test pushes as if they came from the kernel, and ends the
// connection on command. Thread-safe, like the real one; unlike it, pushing never waits for the
// consumer's lock (pushed packets join the list when the lock is next taken).
#include <mutex>
#include <vector>

#include "api/IConnectionManager.h"
#include "protocol/testing/RecordingSendPacket.h"

namespace QuorTest {

class FakeConnection final : public Quor::API::Impl::IConnectionManager {
public:
    RecordingSendPacket sent;

    HRESULT SendPacket(const DWORD connection, const UINT size, const BYTE* const data) override {
        return sent.SendPacket(connection, size, data);
    }
    std::shared_ptr<Vorn::EventMultiWaitable> GetEvent() const override { return m_Event; }
    std::shared_ptr<IAutoLock> GetAutoLock() override { return std::make_shared<Lock>(*this); }

    // Queues one packet from the kernel and signals it.
    void Push(const std::vector<BYTE>& bytes) {
        {
            std::lock_guard<std::mutex> lock(m_StageMutex);
            Quor::API::Impl::PACKET packet;
            packet.size = static_cast<UINT>(bytes.size());
            packet.data.reset(new BYTE[bytes.size() ? bytes.size() : 1]);
            std::copy(bytes.begin(), bytes.end(), packet.data.get());
            m_Staged.push_back(std::move(packet));
        }
        m_Event->Set();
    }
    void Close() {
        {
            std::lock_guard<std::mutex> lock(m_StageMutex);
            m_StagedClose = true;
        }
        m_Event->Set();
    }

private:
    class Lock final : public IAutoLock {
    public:
        explicit Lock(FakeConnection& owner) : m_Owner(owner), m_Lock(owner.m_Mutex) {
            std::lock_guard<std::mutex> staged(owner.m_StageMutex);
            for (auto& packet : owner.m_Staged) owner.m_Packets.push_back(std::move(packet));
            owner.m_Staged.clear();
            owner.m_Closed = owner.m_StagedClose;
        }
        std::vector<Quor::API::Impl::PACKET>& GetPackets() const override { return m_Owner.m_Packets; }
        bool IsClosed() const override { return m_Owner.m_Closed; }

    private:
        FakeConnection& m_Owner;
        std::unique_lock<std::mutex> m_Lock;
    };

    std::shared_ptr<Vorn::EventMultiWaitable> m_Event = Vorn::EventMultiWaitable::Create(false, false);
    std::mutex m_Mutex;
    std::vector<Quor::API::Impl::PACKET> m_Packets;
    bool m_Closed = false;
    std::mutex m_StageMutex;  // guards what was pushed since the lock was last taken
    std::vector<Quor::API::Impl::PACKET> m_Staged;
    bool m_StagedClose = false;
};

}  // namespace QuorTest
