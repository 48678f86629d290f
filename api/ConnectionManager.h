#pragma once
// Quor::API::Impl::WinSock::Manager: one TCP connection from this program to the kernel on
// 127.0.0.1 at the protocol's port, made once at construction and never made again. A listener
// whose socket belongs to another user than this process's or root is not talked to: the
// connection is closed at once and construction fails ("Failed to connect to Orvane.").
//
// A receive thread (RecvThread) cuts the byte stream into packets by their length words and queues
// them (see IConnectionManager). The connection ends when the kernel closes it, a read or send
// fails, or a length word is below 16 or above 16 MiB; the packets queued before stay, the list is
// marked closed and the packets event is set. SendPacket sends a whole packet (continuing partial
// sends) under a send lock of its own, refuses packets over 4096 bytes (E_FAIL, connection kept)
// and ends the connection when a send fails. Destruction ends the receive thread cooperatively
// (shuts the socket down) and waits for it. A failed construction still needs destroying.
#include <cstdint>
#include <memory>
#include <vector>

#include "api/IConnectionManager.h"
#include "foundation/AnnotatedMutex.h"
#include "foundation/Sockets.h"
#include "foundation/ThreadAnnotations.h"

namespace Quor::API::Impl::WinSock {

class RecvThread;

class Manager final : public IConnectionManager {
public:
    // Connects to the kernel's port (Quor::OrvaneProtocol::GetOrvanePort()).
    explicit Manager(HRESULT& result);
    // Connects to `port` on 127.0.0.1 (tests that run their own fake kernel).
    Manager(HRESULT& result, uint16_t port);
    ~Manager() override;
    Manager(const Manager&) = delete;
    Manager& operator=(const Manager&) = delete;

    HRESULT SendPacket(const DWORD connection, const UINT size, const BYTE* const data) override
        EXCLUDES(m_SendMutex);
    std::shared_ptr<Vorn::EventMultiWaitable> GetEvent() const override { return m_Event; }
    std::shared_ptr<IAutoLock> GetAutoLock() override;

    class AutoLock;

private:
    friend class RecvThread;
    // Called by the receive thread.
    void Append(PACKET packet) EXCLUDES(m_Mutex);
    // Marks the connection ended and wakes the consumer; shuts the socket down so sends fail.
    void EndConnection() EXCLUDES(m_Mutex);

    std::shared_ptr<Vorn::EventMultiWaitable> m_Event;
    Vorn::Sockets::Socket m_Socket = -1;
    Vorn::AnnotatedMutex m_Mutex;
    std::vector<PACKET> m_Packets GUARDED_BY(m_Mutex);
    bool m_Closed GUARDED_BY(m_Mutex) = false;
    Vorn::AnnotatedMutex m_SendMutex;  // one packet at a time on the wire
    std::unique_ptr<RecvThread> m_RecvThread;
};

}  // namespace Quor::API::Impl::WinSock
