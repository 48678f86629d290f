#pragma once
// Quor::Orvane::WinSock::Manager: the kernel's loopback transport. Listens on 127.0.0.1 only, on
// the given port; every accepted client gets an id of its own for the kernel's life (ids are never
// reused, descriptors are) and a receive thread that delivers whole requests. At most
// kMaxConnections clients are connected at once: the listener closes further ones as it accepts
// them. A client that does not read an answer within the send limit, or that leaves a request
// half sent for RecvThread::kPartLimitMs, loses its connection.
//
// Errors: the constructor reports socket, bind and listen failures in hr ("Sockets::Bind failed"
// when the port is taken); the owner deletes the object either way.
// Threads: receive threads call DeliverPacket and EndConnection; the request server drains the
// lists through AutoLock; any thread may send. The list lock is never held while waiting for
// anything else. CloseAll and the destructor are called by the owner only.
#include <map>
#include <memory>
#include <vector>

#include "common/WinSockHelp.h"
#include "foundation/AnnotatedMutex.h"
#include "foundation/Mutex.h"
#include "foundation/Sockets.h"
#include "foundation/ThreadAnnotations.h"
#include "kernel/IConnectionManager.h"

namespace Quor::Orvane::WinSock {

class Connection;
class ConnectionThread;

class Manager : public IConnectionManager {
public:
    // Holds the list lock for its life. The lists it lends are read and changed while it lives,
    // which the analysis cannot follow through the interface.
    class SCOPED_CAPABILITY AutoLock : public IAutoLock {
    public:
        explicit AutoLock(Manager& manager) ACQUIRE(*manager.m_Lock);
        ~AutoLock() override RELEASE();
        AutoLock(const AutoLock&) = delete;
        AutoLock& operator=(const AutoLock&) = delete;
        std::vector<PACKET>& GetPackets() override NO_THREAD_SAFETY_ANALYSIS { return m_Manager.m_Packets; }
        std::vector<DWORD>& GetDisconnections() override NO_THREAD_SAFETY_ANALYSIS {
            return m_Manager.m_Disconnections;
        }

    private:
        Manager& m_Manager;
    };

    static constexpr size_t kMaxConnections = 256;

    // An answer that the client has not taken within sendLimitMs closes that connection.
    Manager(HRESULT& hr, unsigned port, DWORD sendLimitMs);
    ~Manager() override;
    Manager(const Manager&) = delete;
    Manager& operator=(const Manager&) = delete;

    HRESULT SendPacket(const DWORD connection, const UINT size, const BYTE* const data) override
        EXCLUDES(m_ConnectionsLock);
    std::shared_ptr<Vorn::EventMultiWaitable> GetPacketEvent() override { return m_PacketEvent; }
    std::shared_ptr<IAutoLock> CreateAutoLock() override;
    void CloseAll() override EXCLUDES(m_CloseLock, m_ConnectionsLock);

    // For the listener and the receive threads.
    std::shared_ptr<Connection> AddConnection(Vorn::Sockets::Socket socket) EXCLUDES(m_ConnectionsLock);
    // Appends the requests of one receive together, so that the request server sees them in one pass.
    void DeliverPackets(std::vector<PACKET>& packets) EXCLUDES(*m_Lock);
    // Forgets the connection and closes its socket; records its disconnection when asked.
    void EndConnection(Connection& connection, bool recordDisconnection) EXCLUDES(m_ConnectionsLock, *m_Lock);

private:
    Vorn::AnnotatedMutex m_CloseLock;  // one CloseAll at a time
    std::shared_ptr<Vorn::EventMultiWaitable> m_PacketEvent;
    std::shared_ptr<Vorn::Mutex> m_Lock;
    std::vector<PACKET> m_Packets GUARDED_BY(*m_Lock);
    std::vector<DWORD> m_Disconnections GUARDED_BY(*m_Lock);
    Vorn::Sockets::Socket m_ListeningSocket GUARDED_BY(m_CloseLock) = -1;
    std::unique_ptr<ConnectionThread> m_Listener GUARDED_BY(m_CloseLock);
    std::unique_ptr<Quor::Common::WinSockHelp::AutoStartup> m_Startup;

    Vorn::AnnotatedMutex m_ConnectionsLock;
    std::map<DWORD, std::shared_ptr<Connection>> m_Connections GUARDED_BY(m_ConnectionsLock);
    DWORD m_NextId GUARDED_BY(m_ConnectionsLock) = 1;
    DWORD m_SendLimitMs;
};

}  // namespace Quor::Orvane::WinSock
