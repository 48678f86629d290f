#include "kernel/ConnectionThread.h"

#include <vector>

#include "common/Log.h"
#include "common/Win32Helper.h"
#include "foundation/EventMultiWaitable.h"
#include "foundation/WaitForMultipleEvents.h"
#include "foundation/WaitResult.h"
#include "kernel/Connection.h"
#include "kernel/PeerAdmission.h"
#include "kernel/RecvThread.h"
#include "kernel/WinSockManager.h"

namespace Quor::Orvane::WinSock {

ConnectionThread::ConnectionThread(Manager& manager, Vorn::Sockets::Socket& listeningSocket, HRESULT& hr)
    : m_Manager(manager), m_ListeningSocket(listeningSocket) {
    QUOR_LOG(Quor::Log::VERBOSE, "()");
    hr = S_OK;
    m_ConnectionEvent = Vorn::EventMultiWaitable::Create(true, false);
    m_TerminateEvent = Vorn::EventMultiWaitable::Create(true, false);
    m_EndedEvent = Vorn::EventMultiWaitable::Create(false, false);
    m_Thread = Vorn::threadCreate(&ConnectionThread::ThreadProc, this);
    if (!m_Thread) {
        hr = E_FAIL;
        QUOR_LOG(Quor::Log::ERROR, "Failed to create thread.");
    }
}

ConnectionThread::~ConnectionThread() {
    QUOR_LOG(Quor::Log::VERBOSE, "()");
    if (m_Thread) {
        if (!m_TerminateEvent->Set())
            QUOR_LOG(Quor::Log::ERROR, "Failed to set event needed to terminate thread.");
        if (Vorn::threadJoin(m_Thread, 1000) != Vorn::WAIT_OBJECT_0) {
            QUOR_LOG(Quor::Log::ERROR,
                     "Thread did not terminate, calling threadTeminate (Thread Id: 0x%08x).",
                     Quor::Common::Win32Helper::GetThreadId(m_Thread));
            // The thread uses this object and its receive threads: it is waited for, never left behind.
            Vorn::threadJoin(m_Thread, Vorn::INFINITE);
        }
        m_Thread.reset();
    }
    m_RecvThreads.clear();
}

void ConnectionThread::NotifyEnded() {
    m_EndedEvent->Set();
}

Vorn::uint32 ConnectionThread::ThreadProc(void* self) {
    return static_cast<ConnectionThread*>(self)->Run();
}

Vorn::uint32 ConnectionThread::Run() {
    HRESULT hr = S_OK;
    bool terminated = false;
    while (!terminated && SUCCEEDED(hr)) {
        m_ConnectionEvent->Reset();
        Vorn::Sockets::AsyncResult* watch =
            Vorn::Sockets::NotifyOnConnection(m_ListeningSocket, m_ConnectionEvent);
        if (!watch) {
            QUOR_LOG(Quor::Log::ERROR, "Unable to accept a connection.");
            hr = E_FAIL;
            break;
        }
        const std::shared_ptr<Vorn::EventMultiWaitable> events[3] = {m_ConnectionEvent, m_TerminateEvent,
                                                                     m_EndedEvent};
        bool waitAgain = true;
        while (waitAgain) {
            waitAgain = false;
            const DWORD result = Vorn::WaitForMultipleEvents(3, events, false, Vorn::INFINITE);
            if (result == 0) {
                QUOR_LOG(Quor::Log::VERBOSE, "Connection event signaled.");
                const bool ok = Vorn::Sockets::GetAsyncResult(watch, nullptr);
                Vorn::Sockets::ReleaseAsyncResult(watch);
                if (!ok) {
                    QUOR_LOG(Quor::Log::ERROR, "NotifyOnConnection result failed.");
                    hr = E_FAIL;
                } else {
                    Accept();
                }
            } else if (result == 1) {
                QUOR_LOG(Quor::Log::VERBOSE, "Terminate event signaled.");
                Vorn::Sockets::ReleaseAsyncResult(watch);
                terminated = true;
            } else if (result == 2) {
                QUOR_LOG(Quor::Log::VERBOSE, "A thread is terminating.");
                ReapEnded();
                waitAgain = true;  // the connection watch goes on
            } else if (result == Vorn::WAIT_NONE_SIGNALLED) {
                waitAgain = true;
            } else {
                QUOR_LOG(Quor::Log::ERROR, "Unexpected object signaled.");
                Vorn::Sockets::ReleaseAsyncResult(watch);
                hr = E_FAIL;
            }
        }
    }
    QUOR_LOG(Quor::Log::VERBOSE, "Terminating (Thread ID: 0x%08x).",
             Quor::Common::Win32Helper::GetCurrentThreadId());
    return 0;
}

void ConnectionThread::Accept() {
    Vorn::Sockets::Socket client = -1;
    if (!Vorn::Sockets::Accept(m_ListeningSocket, client)) {
        QUOR_LOG(Quor::Log::ERROR, "Sockets::Accept() failed.");
        return;
    }
    if (!AdmitPeer(client)) return;  // another user's connection: closed
    if (!AdmitWithinCap(client)) return;
    std::shared_ptr<Connection> connection = m_Manager.AddConnection(client);
    HRESULT hr = S_OK;
    auto thread = std::make_unique<RecvThread>(*this, connection, hr);
    if (FAILED(hr)) {
        QUOR_LOG(Quor::Log::ERROR, "Failed to create a RecvThread.");
        thread.reset();
        m_Manager.EndConnection(*connection, false);
        return;
    }
    m_RecvThreads.push_back(std::move(thread));
}

bool ConnectionThread::AdmitWithinCap(Vorn::Sockets::Socket& client) {
    ReapEnded();
    if (m_RecvThreads.size() < Manager::kMaxConnections) {
        m_RefusedInARow = 0;
        return true;
    }
    ++m_RefusedInARow;
    if (m_RefusedInARow <= 10 || m_RefusedInARow % 1000 == 0)
        QUOR_LOG(Quor::Log::ERROR, "%zu connections are open, closing a new one (%u in a row).",
                 Manager::kMaxConnections, m_RefusedInARow);
    if (!Vorn::Sockets::Close(client)) QUOR_LOG(Quor::Log::ERROR, "Closing the socket failed.");
    return false;
}

void ConnectionThread::ReapEnded() {
    std::erase_if(m_RecvThreads,
                  [](const std::unique_ptr<RecvThread>& thread) { return thread->HasEnded(); });
}

}  // namespace Quor::Orvane::WinSock
