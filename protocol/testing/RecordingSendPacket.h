#pragma once
// Test double of the protocol transport: records every packet handed to it (connection and a copy
// of the bytes) and answers the result the test chose (S_OK unless told).
//
// Any thread may send and read; WaitFor lets a test wait for packets sent on another thread.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "protocol/ISendPacket.h"

namespace QuorTest {

class RecordingSendPacket final : public Quor::OrvaneProtocol::ISendPacket {
public:
    struct Packet {
        DWORD connection = 0;
        std::vector<BYTE> bytes;
    };

    HRESULT SendPacket(const DWORD connection, const UINT size, const BYTE* const data) override {
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            m_Packets.push_back({connection, std::vector<BYTE>(data, data + size)});
        }
        m_Changed.notify_all();
        return m_Result;
    }

    void SetResult(HRESULT result) { m_Result = result; }
    std::vector<Packet> Packets() const {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_Packets;
    }
    size_t Count() const {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_Packets.size();
    }
    // The last packet's bytes (empty when none was sent).
    std::vector<BYTE> Last() const {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_Packets.empty() ? std::vector<BYTE>() : m_Packets.back().bytes;
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Packets.clear();
    }
    bool WaitFor(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const {
        std::unique_lock<std::mutex> lock(m_Mutex);
        return m_Changed.wait_for(lock, timeout, [&] { return m_Packets.size() >= count; });
    }

private:
    mutable std::mutex m_Mutex;
    mutable std::condition_variable m_Changed;
    std::vector<Packet> m_Packets;
    std::atomic<HRESULT> m_Result{S_OK};
};

}  // namespace QuorTest
