#pragma once
// Quor::Orvane::WinSock::Connection: one accepted client socket and the kernel's id for it.
//
// Ids are handed out once per kernel, so a late answer for a closed connection can never reach a
// later client that got the same descriptor. Send writes a whole packet under the connection's
// send lock; when the client does not take the bytes within the send limit (read on the process
// clock), or the write fails, the connection is shut down, which ends its receive thread (and so
// drops its queued requests), and later sends fail at once. Close happens under the same lock, so
// nothing is ever written to a descriptor after it was closed. Thread-safe.
#include "foundation/AnnotatedMutex.h"
#include "foundation/Sockets.h"
#include "foundation/ThreadAnnotations.h"
#include "foundation/Types.h"

namespace Quor::Orvane::WinSock {

class Connection {
public:
    // Takes over socket. sendLimitMs bounds how long one packet may wait for the client to read.
    Connection(DWORD id, Vorn::Sockets::Socket socket, DWORD sendLimitMs);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    DWORD GetId() const { return m_Id; }
    // The descriptor for receiving; only the connection's receive thread reads from it, without
    // the send lock: while that thread runs, it alone closes the descriptor (the owner closes a
    // connection only after its receive thread has ended).
    Vorn::Sockets::Socket& GetSocket() NO_THREAD_SAFETY_ANALYSIS { return m_Socket; }

    // 0 when every byte was written; the socket error as HRESULT or E_FAIL otherwise.
    HRESULT Send(const BYTE* data, UINT size) EXCLUDES(m_SendLock);
    // Ends both directions without closing the descriptor (wakes a pending receive).
    void Shutdown() EXCLUDES(m_SendLock);
    // Closes the descriptor; false when closing failed. Later sends fail.
    bool Close() EXCLUDES(m_SendLock);

private:
    // Writes what the socket takes now; the rest waits for the client up to the send limit.
    HRESULT SendWithin(const BYTE* data, UINT size) REQUIRES(m_SendLock);
    void Fail() REQUIRES(m_SendLock);

    const DWORD m_Id;
    const DWORD m_SendLimitMs;
    Vorn::AnnotatedMutex m_SendLock;  // also orders the packets
    Vorn::Sockets::Socket m_Socket GUARDED_BY(m_SendLock);
    bool m_Failed GUARDED_BY(m_SendLock) = false;  // a send gave up: the connection is shut down
};

}  // namespace Quor::Orvane::WinSock
