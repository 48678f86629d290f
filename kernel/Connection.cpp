#include "kernel/Connection.h"

#include <sys/socket.h>
#include <sys/time.h>

#include <cerrno>

#include "common/Log.h"
#include "kernel/SocketError.h"

namespace Quor::Orvane::WinSock {

Connection::Connection(DWORD id, Vorn::Sockets::Socket socket, DWORD sendTimeoutMs)
    : m_Id(id), m_Socket(socket) {
    timeval timeout{};
    timeout.tv_sec = sendTimeoutMs / 1000;
    timeout.tv_usec = static_cast<suseconds_t>((sendTimeoutMs % 1000) * 1000);
    if (::setsockopt(m_Socket, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout) != 0)
        QUOR_LOG(Quor::Log::WARNING, "Could not bound the send time of connection 0x%08x", m_Id);
}

Connection::~Connection() {
    Close();
}

HRESULT Connection::Send(const BYTE* data, UINT size) {
    std::lock_guard<std::mutex> guard(m_SendLock);
    if (m_Socket == -1) {
        QUOR_LOG(Quor::Log::ERROR, "Connection 0x%08x is closed.", m_Id);
        return E_FAIL;
    }
    UINT sent = 0;
    while (sent < size) {
        DWORD now = 0;
        if (!Vorn::Sockets::Send(m_Socket, data + sent, size - sent, now)) {
            if (Vorn::Sockets::GetLastError() == EINTR) continue;
            const HRESULT hr = LastSocketError();
            QUOR_LOG(Quor::Log::ERROR, "send failed.");
            ::shutdown(m_Socket, SHUT_RDWR);
            return hr;
        }
        if (now == 0) break;
        sent += now;
    }
    if (sent < size) {
        QUOR_LOG(Quor::Log::ERROR, "Failed to send all data.");
        ::shutdown(m_Socket, SHUT_RDWR);
        return E_FAIL;
    }
    return S_OK;
}

void Connection::Shutdown() {
    std::lock_guard<std::mutex> guard(m_SendLock);
    if (m_Socket != -1) ::shutdown(m_Socket, SHUT_RDWR);
}

bool Connection::Close() {
    std::lock_guard<std::mutex> guard(m_SendLock);
    if (m_Socket == -1) return true;
    const bool closed = Vorn::Sockets::Close(m_Socket);
    m_Socket = -1;
    return closed;
}

}  // namespace Quor::Orvane::WinSock
