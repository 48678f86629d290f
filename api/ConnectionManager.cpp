#include "api/ConnectionManager.h"

#include <sys/socket.h>

#include "api/RecvThread.h"
#include "common/Log.h"
#include "foundation/SocketPeerOwner.h"
#include "protocol/PacketType.h"
#include "protocol/Port.h"

namespace Quor::API::Impl::WinSock {

using Quor::Log::ERROR;
using Quor::Log::VERBOSE;

// Holds the manager's mutex for its life. What it lends is read and changed while it lives, which
// the analysis cannot follow through the interface.
class SCOPED_CAPABILITY Manager::AutoLock final : public IConnectionManager::IAutoLock {
public:
    explicit AutoLock(Manager& manager) ACQUIRE(manager.m_Mutex)
        : m_Manager(manager), m_Lock(manager.m_Mutex) {}
    ~AutoLock() override RELEASE() {}
    std::vector<PACKET>& GetPackets() const override NO_THREAD_SAFETY_ANALYSIS { return m_Manager.m_Packets; }
    bool IsClosed() const override NO_THREAD_SAFETY_ANALYSIS { return m_Manager.m_Closed; }

private:
    Manager& m_Manager;
    Vorn::AnnotatedLockGuard m_Lock;
};

Manager::Manager(HRESULT& result) : Manager(result, Quor::OrvaneProtocol::GetOrvanePort()) {}

Manager::Manager(HRESULT& result, uint16_t port) : m_Event(Vorn::EventMultiWaitable::Create(false, false)) {
    QUOR_LOG(VERBOSE, "()");
    m_Socket = Vorn::Sockets::Create();
    if (m_Socket < 0) {
        result = E_FAIL;
        QUOR_LOG(ERROR, "\"Sockets::Create()\" failed while trying to create a listen socket");
        return;
    }
    if (!Vorn::Sockets::Connect(m_Socket, 0x7F000001, port)) {
        result = E_FAIL;
        QUOR_LOG(ERROR, "Sockets::Connect failed");
        return;
    }
    // Another user could hold the port and answer in the kernel's place (the client library's
    // path, for one): only a listener of this user or root is talked to.
    if (!Vorn::Sockets::PeerIsTrusted(m_Socket)) {
        result = E_FAIL;
        QUOR_LOG(ERROR, "The listener on port %d belongs to another user.", port);
        QUOR_LOG(ERROR, "Failed to connect to Orvane.");
        Vorn::Sockets::Close(m_Socket);
        m_Socket = -1;
        return;
    }
    m_RecvThread = std::make_unique<RecvThread>(*this, m_Socket, result);
    if (FAILED(result)) {
        m_RecvThread.reset();
        QUOR_LOG(ERROR, "Creating a recv thread failed.");
        return;
    }
    QUOR_LOG(VERBOSE, "Successfully connected socket 0x%08x on port %d", static_cast<unsigned>(m_Socket),
             port);
}

Manager::~Manager() {
    QUOR_LOG(VERBOSE, "()");
    m_RecvThread.reset();
    if (m_Socket >= 0) Vorn::Sockets::Close(m_Socket);
}

HRESULT Manager::SendPacket(const DWORD connection, const UINT size, const BYTE* const data) {
    QUOR_LOG(VERBOSE, "(0x%08x, %d, %p)", connection, size, static_cast<const void*>(data));
    if (size > Quor::OrvaneProtocol::MAX_REQUEST_SIZE) {
        QUOR_LOG(ERROR, "A request of %u bytes is longer than the kernel takes (%u); not sent.", size,
                 Quor::OrvaneProtocol::MAX_REQUEST_SIZE);
        return E_FAIL;
    }
    Vorn::AnnotatedLockGuard lock(m_SendMutex);
    if (m_Socket < 0) return E_FAIL;
    UINT done = 0;
    while (done < size) {
        DWORD sent = 0;
        if (!Vorn::Sockets::Send(m_Socket, data + done, size - done, sent) || sent == 0) {
            QUOR_LOG(ERROR, "Sockets::Send failed (error %d); closing the connection.",
                     Vorn::Sockets::GetLastError());
            ::shutdown(m_Socket, SHUT_RDWR);
            return E_FAIL;
        }
        QUOR_LOG(VERBOSE, "Sockets::Send returned %d", sent);
        done += sent;
    }
    return S_OK;
}

std::shared_ptr<IConnectionManager::IAutoLock> Manager::GetAutoLock() {
    return std::make_shared<AutoLock>(*this);
}

void Manager::Append(PACKET packet) {
    {
        Vorn::AnnotatedLockGuard lock(m_Mutex);
        m_Packets.push_back(std::move(packet));
    }
    if (!m_Event->Set()) QUOR_LOG(ERROR, "Failed to set event to signal arrival of packets.");
}

void Manager::EndConnection() {
    ::shutdown(m_Socket, SHUT_RDWR);
    {
        Vorn::AnnotatedLockGuard lock(m_Mutex);
        m_Closed = true;
    }
    m_Event->Set();
}

}  // namespace Quor::API::Impl::WinSock
