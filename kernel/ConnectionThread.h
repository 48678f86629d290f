#pragma once
// Quor::Orvane::WinSock::ConnectionThread: the listener. Accepts clients on the listening socket,
// gives each its own RecvThread, and deletes receive threads once they have ended.
//
// At most Manager::kMaxConnections clients are connected at once: a client accepted beyond that
// is closed at once, with an ERROR line (the first ten in a row, then every thousandth). Ended
// receive threads wake the listener through one event, not one event each. The destructor stops
// the listener (joined; after 1 s logged and waited for) and then every receive thread.
// NotifyEnded may be called from any thread.
#include <memory>
#include <vector>

#include "foundation/Sockets.h"
#include "foundation/Thread.h"
#include "foundation/Types.h"

namespace Vorn {
class EventMultiWaitable;
}

namespace Quor::Orvane::WinSock {

class Manager;
class RecvThread;

class ConnectionThread {
public:
    ConnectionThread(Manager& manager, Vorn::Sockets::Socket& listeningSocket, HRESULT& hr);
    ~ConnectionThread();
    ConnectionThread(const ConnectionThread&) = delete;
    ConnectionThread& operator=(const ConnectionThread&) = delete;

    Manager& GetManager() { return m_Manager; }
    // A receive thread has ended and may be deleted.
    void NotifyEnded();
    static Vorn::uint32 ThreadProc(void* self);

private:
    Vorn::uint32 Run();
    void Accept();
    void ReapEnded();
    // True when one more connection fits; otherwise closes client.
    bool AdmitWithinCap(Vorn::Sockets::Socket& client);

    Manager& m_Manager;
    Vorn::Sockets::Socket m_ListeningSocket;
    std::shared_ptr<Vorn::EventMultiWaitable> m_ConnectionEvent;
    std::shared_ptr<Vorn::EventMultiWaitable> m_TerminateEvent;
    std::shared_ptr<Vorn::EventMultiWaitable> m_EndedEvent;  // auto reset
    std::vector<std::unique_ptr<RecvThread>> m_RecvThreads;  // in acceptance order; listener thread only
    std::shared_ptr<Vorn::Thread> m_Thread;
    DWORD m_RefusedInARow = 0;  // listener thread only
};

}  // namespace Quor::Orvane::WinSock
