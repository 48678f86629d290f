#pragma once
// Quor::Orvane::WinSock::RecvThread: receives one client's requests on a thread of its own and
// hands each whole request to the connection manager; when the peer closes or the stream breaks
// it records the disconnection, closes the socket and tells its listener that it has ended. A
// client that sent part of a request and nothing more for kPartLimitMs (on the process clock)
// is taken as gone: its connection ends the same way.
//
// Owned by the ConnectionThread; the destructor asks the thread to stop (a flag, then a shutdown of
// the socket that ends a pending receive) and joins it (after 1 s it is logged and waited for).
// HasEnded may be read from any thread.
#include <atomic>
#include <memory>

#include "foundation/Thread.h"
#include "foundation/Types.h"
#include "kernel/RequestFramer.h"

namespace Vorn {
class EventMultiWaitable;
}

namespace Quor::Orvane::WinSock {

class Connection;
class ConnectionThread;

class RecvThread {
public:
    RecvThread(ConnectionThread& listener, std::shared_ptr<Connection> connection, HRESULT& hr);
    ~RecvThread();
    RecvThread(const RecvThread&) = delete;
    RecvThread& operator=(const RecvThread&) = delete;

    static constexpr DWORD kPartLimitMs = 30000;

    bool HasEnded() const { return m_Ended.load(); }
    static Vorn::uint32 ThreadProc(void* self);

private:
    Vorn::uint32 Run();
    // One receive into the framer's space; with part of a request held, one that gives up
    // (timedOut) when nothing came within kPartLimitMs.
    bool Receive(DWORD& received, bool& timedOut);

    ConnectionThread& m_Listener;
    std::shared_ptr<Connection> m_Connection;
    std::atomic<bool> m_Terminate{false};
    std::shared_ptr<Vorn::Thread> m_Thread;
    HRESULT m_Result = S_OK;  // written by the thread before it ends
    std::atomic<bool> m_Ended{false};
    RequestFramer m_Framer;  // used by the thread only
    std::shared_ptr<Vorn::EventMultiWaitable> m_Received;  // a timed receive has ended
};

}  // namespace Quor::Orvane::WinSock
