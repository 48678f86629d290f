#pragma once
// Quor::Orvane::WinSock::RecvThread: receives one client's requests on a thread of its own and
// hands each whole request to the connection manager; when the peer closes or the stream breaks
// it records the disconnection, closes the socket and tells its listener that it has ended.
//
// Owned by the ConnectionThread; the destructor asks the thread to stop (a flag, then a shutdown of
// the socket that ends a pending receive) and joins it (after 1 s it is logged and waited for).
// HasEnded may be read from any thread.
#include <atomic>
#include <memory>

#include "foundation/Thread.h"
#include "foundation/Types.h"
#include "kernel/RequestFramer.h"

namespace Quor::Orvane::WinSock {

class Connection;
class ConnectionThread;

class RecvThread {
public:
    RecvThread(ConnectionThread& listener, std::shared_ptr<Connection> connection, HRESULT& hr);
    ~RecvThread();
    RecvThread(const RecvThread&) = delete;
    RecvThread& operator=(const RecvThread&) = delete;

    bool HasEnded() const { return m_Ended.load(); }
    static Vorn::uint32 ThreadProc(void* self);

private:
    Vorn::uint32 Run();

    ConnectionThread& m_Listener;
    std::shared_ptr<Connection> m_Connection;
    std::atomic<bool> m_Terminate{false};
    std::shared_ptr<Vorn::Thread> m_Thread;
    HRESULT m_Result = S_OK;  // written by the thread before it ends
    std::atomic<bool> m_Ended{false};
    RequestFramer m_Framer;  // used by the thread only
};

}  // namespace Quor::Orvane::WinSock
