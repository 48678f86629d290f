#include "kernel/Connection.h"

#include <sys/socket.h>

#include <cerrno>

#include "common/Log.h"
#include "foundation/EventMultiWaitable.h"
#include "foundation/WaitResult.h"
#include "kernel/SocketError.h"

namespace Quor::Orvane::WinSock {

Connection::Connection(DWORD id, Vorn::Sockets::Socket socket, DWORD sendLimitMs)
    : m_Id(id), m_SendLimitMs(sendLimitMs), m_Socket(socket) {}

Connection::~Connection() {
    Close();
}

HRESULT Connection::Send(const BYTE* data, UINT size) {
    Vorn::AnnotatedLockGuard guard(m_SendLock);
    if (m_Socket == -1 || m_Failed) {
        QUOR_LOG(Quor::Log::ERROR, "Connection 0x%08x is closed.", m_Id);
        return E_FAIL;
    }
    const HRESULT hr = SendWithin(data, size);
    if (FAILED(hr)) Fail();
    return hr;
}

HRESULT Connection::SendWithin(const BYTE* data, UINT size) {
    UINT sent = 0;
    while (sent < size) {
        const ssize_t now = ::send(m_Socket, data + sent, size - sent, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (now > 0) {
            sent += static_cast<UINT>(now);
            continue;
        }
        if (now < 0 && errno == EINTR) continue;
        if (now < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            const HRESULT hr = LastSocketError();
            QUOR_LOG(Quor::Log::ERROR, "send failed.");
            return hr;
        }
        break;  // the socket is full: the client has not read
    }
    if (sent == size) return S_OK;

    // The rest goes out as the client reads, for as long as the send limit allows.
    auto written = Vorn::EventMultiWaitable::Create(true, false);
    Vorn::Sockets::AsyncResult* rest = Vorn::Sockets::AsyncSend(m_Socket, data + sent, size - sent, written);
    if (!rest) {
        QUOR_LOG(Quor::Log::ERROR, "send failed.");
        return E_FAIL;
    }
    const bool inTime = written->Wait(m_SendLimitMs) == Vorn::WAIT_OBJECT_0;
    DWORD transferred = 0;
    const bool ok = inTime && Vorn::Sockets::GetAsyncResult(rest, &transferred);
    Vorn::Sockets::ReleaseAsyncResult(rest);
    if (!inTime)
        QUOR_LOG(Quor::Log::ERROR, "Connection 0x%08x did not read its answer within %u ms, closing it.",
                 m_Id, m_SendLimitMs);
    if (!ok || transferred != size - sent) {
        QUOR_LOG(Quor::Log::ERROR, "Failed to send all data.");
        return E_FAIL;
    }
    return S_OK;
}

void Connection::Fail() {
    m_Failed = true;
    if (m_Socket != -1) ::shutdown(m_Socket, SHUT_RDWR);
}

void Connection::Shutdown() {
    Vorn::AnnotatedLockGuard guard(m_SendLock);
    if (m_Socket != -1) ::shutdown(m_Socket, SHUT_RDWR);
}

bool Connection::Close() {
    Vorn::AnnotatedLockGuard guard(m_SendLock);
    if (m_Socket == -1) return true;
    const bool closed = Vorn::Sockets::Close(m_Socket);
    m_Socket = -1;
    return closed;
}

}  // namespace Quor::Orvane::WinSock
