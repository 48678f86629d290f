#include "kernel/WinSockManager.h"

#include "common/Log.h"
#include "foundation/EventMultiWaitable.h"
#include "kernel/Connection.h"
#include "kernel/ConnectionThread.h"
#include "kernel/SocketError.h"

namespace Quor::Orvane::WinSock {

namespace {
constexpr DWORD kLoopback = 0x7F000001;
constexpr int kBacklog = 128;
}  // namespace

Manager::AutoLock::AutoLock(Manager& manager) : m_Manager(manager) {
    m_Manager.m_Lock->Lock();
}

Manager::AutoLock::~AutoLock() {
    if (m_Manager.m_Packets.empty() && m_Manager.m_Disconnections.empty()) {
        m_Manager.m_PacketEvent->Reset();
    } else if (!m_Manager.m_PacketEvent->Set()) {
        QUOR_LOG(Quor::Log::ERROR, "SetEvent failed");
    }
    m_Manager.m_Lock->Unlock();
}

Manager::Manager(HRESULT& hr, unsigned port, DWORD sendLimitMs) : m_SendLimitMs(sendLimitMs) {
    QUOR_LOG(Quor::Log::VERBOSE, "()");
    m_Lock = Vorn::Mutex::Create(false);
    m_PacketEvent = Vorn::EventMultiWaitable::Create(true, false);
    m_Startup = std::make_unique<Quor::Common::WinSockHelp::AutoStartup>(10);
    hr = m_Startup->m_Result;
    if (FAILED(hr)) {
        QUOR_LOG(Quor::Log::ERROR, "Common::WinSockHelp::AutoStartup::AutoStartup failed");
        return;
    }
    m_ListeningSocket = Vorn::Sockets::Create();
    if (m_ListeningSocket == -1) {
        hr = LastSocketError();
        QUOR_LOG(Quor::Log::ERROR, "\"socket()\" failed while trying to create a listen socket");
        return;
    }
    if (!Vorn::Sockets::Bind(m_ListeningSocket, kLoopback, port)) {
        hr = LastSocketError();
        QUOR_LOG(Quor::Log::ERROR, "Sockets::Bind failed");
        return;
    }
    if (!Vorn::Sockets::Listen(m_ListeningSocket, kBacklog)) {
        hr = LastSocketError();
        QUOR_LOG(Quor::Log::ERROR, "Sockets::Listen failed");
        return;
    }
    QUOR_LOG(Quor::Log::VERBOSE, "Creating a listening thread on loopback at socket 0x%08x",
             static_cast<DWORD>(m_ListeningSocket));
    m_Listener = std::make_unique<ConnectionThread>(*this, m_ListeningSocket, hr);
    if (FAILED(hr)) {
        QUOR_LOG(Quor::Log::ERROR, "Creating a listening thread failed.");
        m_Listener.reset();
    }
}

Manager::~Manager() {
    QUOR_LOG(Quor::Log::VERBOSE, "()");
    CloseAll();
    m_Startup.reset();
    m_Packets.clear();
    m_Disconnections.clear();
}

void Manager::CloseAll() {
    Vorn::AnnotatedLockGuard closing(m_CloseLock);
    // The listener deletes every receive thread, and each closes its connection on the way out.
    m_Listener.reset();
    if (m_ListeningSocket != -1 && !Vorn::Sockets::Close(m_ListeningSocket))
        QUOR_LOG(Quor::Log::ERROR, "\"closesocket()\" failed when trying to close listening socket");
    m_ListeningSocket = -1;
    std::map<DWORD, std::shared_ptr<Connection>> left;
    {
        Vorn::AnnotatedLockGuard guard(m_ConnectionsLock);
        left.swap(m_Connections);
    }
    for (auto& [id, connection] : left) connection->Close();
}

std::shared_ptr<IConnectionManager::IAutoLock> Manager::CreateAutoLock() {
    return std::make_shared<AutoLock>(*this);
}

HRESULT Manager::SendPacket(const DWORD connection, const UINT size, const BYTE* const data) {
    std::shared_ptr<Connection> target;
    {
        Vorn::AnnotatedLockGuard guard(m_ConnectionsLock);
        const auto found = m_Connections.find(connection);
        if (found != m_Connections.end()) target = found->second;
    }
    if (!target) {
        QUOR_LOG(Quor::Log::ERROR, "send failed: connection 0x%08x has ended.", connection);
        return E_FAIL;
    }
    return target->Send(data, size);
}

std::shared_ptr<Connection> Manager::AddConnection(Vorn::Sockets::Socket socket) {
    Vorn::AnnotatedLockGuard guard(m_ConnectionsLock);
    DWORD id = m_NextId;
    while (id == 0 || m_Connections.count(id)) ++id;  // only after 2^32 connections
    m_NextId = id + 1;
    auto connection = std::make_shared<Connection>(id, socket, m_SendLimitMs);
    m_Connections[id] = connection;
    return connection;
}

void Manager::DeliverPackets(std::vector<PACKET>& packets) {
    AutoLock lock(*this);
    for (PACKET& packet : packets) m_Packets.push_back(std::move(packet));
    packets.clear();
}

void Manager::EndConnection(Connection& connection, bool recordDisconnection) {
    {
        Vorn::AnnotatedLockGuard guard(m_ConnectionsLock);
        m_Connections.erase(connection.GetId());
    }
    if (recordDisconnection) {
        AutoLock lock(*this);
        m_Disconnections.push_back(connection.GetId());
    }
    if (!connection.Close()) QUOR_LOG(Quor::Log::ERROR, "Closing the socket failed.");
}

}  // namespace Quor::Orvane::WinSock
