#pragma once
// Quor::Orvane::WinSock::Connection: one accepted client socket and the kernel's id for it.
//
// Ids are handed out once per kernel, so a late answer for a closed connection can never reach a
// later client that got the same descriptor. Send writes a whole packet under the connection's
// send lock (continuing partial writes, bounded by a send time-out); a write that cannot finish
// shuts the connection down, which ends its receive thread. Close happens under the same lock, so
// nothing is ever written to a descriptor after it was closed. Thread-safe.
#include <mutex>

#include "foundation/Sockets.h"
#include "foundation/Types.h"

namespace Quor::Orvane::WinSock {

class Connection {
public:
    // Takes over socket. sendTimeoutMs bounds each blocked write.
    Connection(DWORD id, Vorn::Sockets::Socket socket, DWORD sendTimeoutMs);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    DWORD GetId() const { return m_Id; }
    // The descriptor for receiving; only the connection's receive thread reads from it.
    Vorn::Sockets::Socket& GetSocket() { return m_Socket; }

    // 0 when every byte was written; the socket error as HRESULT or E_FAIL otherwise.
    HRESULT Send(const BYTE* data, UINT size);
    // Ends both directions without closing the descriptor (wakes a pending receive).
    void Shutdown();
    // Closes the descriptor; false when closing failed. Later sends fail.
    bool Close();

private:
    const DWORD m_Id;
    std::mutex m_SendLock;  // guards m_Socket against close during a send, and orders packets
    Vorn::Sockets::Socket m_Socket;
};

}  // namespace Quor::Orvane::WinSock
