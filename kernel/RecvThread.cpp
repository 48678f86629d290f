#include "kernel/RecvThread.h"

#include <vector>

#include "common/Log.h"
#include "common/Win32Helper.h"
#include "foundation/EventMultiWaitable.h"
#include "foundation/Sockets.h"
#include "foundation/WaitResult.h"
#include "kernel/Connection.h"
#include "kernel/ConnectionThread.h"
#include "kernel/WinSockManager.h"

namespace Quor::Orvane::WinSock {

RecvThread::RecvThread(ConnectionThread& listener, std::shared_ptr<Connection> connection, HRESULT& hr)
    : m_Listener(listener), m_Connection(std::move(connection)) {
    QUOR_LOG(Quor::Log::VERBOSE, "(0x%08x)", m_Connection->GetId());
    hr = S_OK;
    m_Received = Vorn::EventMultiWaitable::Create(true, false);
    m_Thread = Vorn::threadCreate(&RecvThread::ThreadProc, this);
    if (!m_Thread) {
        hr = E_FAIL;
        QUOR_LOG(Quor::Log::ERROR, "Failed to create thread.");
    }
}

RecvThread::~RecvThread() {
    QUOR_LOG(Quor::Log::VERBOSE, "()");
    if (m_Thread) {
        m_Terminate.store(true);
        m_Connection->Shutdown();  // ends a receive that is waiting
        if (Vorn::threadJoin(m_Thread, 1000) != Vorn::WAIT_OBJECT_0) {
            // The thread uses this object, its connection and the manager: it is waited for, never
            // left behind (its socket is shut down, so it only finishes its current step).
            QUOR_LOG(Quor::Log::ERROR, "Receive thread did not end within 1000 ms, waiting for it.");
            Vorn::threadJoin(m_Thread, Vorn::INFINITE);
        }
        m_Thread.reset();
    }
}

Vorn::uint32 RecvThread::ThreadProc(void* self) {
    return static_cast<RecvThread*>(self)->Run();
}

Vorn::uint32 RecvThread::Run() {
    Manager& manager = m_Listener.GetManager();
    const DWORD id = m_Connection->GetId();
    HRESULT hr = S_OK;
    while (SUCCEEDED(hr) && !m_Terminate.load()) {
        QUOR_LOG(Quor::Log::VERBOSE, "Going to sleep waiting for an event");
        DWORD received = 0;
        bool timedOut = false;
        const bool ok = Receive(received, timedOut);
        if (m_Terminate.load()) {
            QUOR_LOG(Quor::Log::VERBOSE, "Terminate event signaled.");
            break;
        }
        if (timedOut) {
            QUOR_LOG(Quor::Log::ERROR,
                     "Connection 0x%08x sent part of a request and nothing more for %u ms, closing it.", id,
                     kPartLimitMs);
            hr = E_FAIL;
            break;
        }
        if (!ok) {
            QUOR_LOG(Quor::Log::ERROR, "AsyncRecv result failed.");
            hr = E_FAIL;
            break;
        }
        QUOR_LOG(Quor::Log::VERBOSE, "AsyncRecv returned %u bytes.", received);
        if (received == 0) {
            QUOR_LOG(Quor::Log::VERBOSE, "Socket has been closed.");
            break;
        }
        DWORD badLength = 0;
        std::vector<PACKET> requests;
        const bool whole = m_Framer.Commit(
            received,
            [&](const BYTE* bytes, UINT size) { requests.push_back(PACKET::Copy(id, bytes, size)); },
            badLength);
        if (!requests.empty()) manager.DeliverPackets(requests);
        if (!whole) {
            QUOR_LOG(Quor::Log::ERROR, "Request length %u out of range, closing connection 0x%08x", badLength,
                     id);
            hr = E_FAIL;
        }
    }
    manager.EndConnection(*m_Connection, !m_Terminate.load());
    m_Result = hr;
    QUOR_LOG(Quor::Log::VERBOSE, "Terminating (Thread ID: 0x%08x).",
             Quor::Common::Win32Helper::GetCurrentThreadId());
    ConnectionThread& listener = m_Listener;
    m_Ended.store(true);
    listener.NotifyEnded();
    return 0;
}

bool RecvThread::Receive(DWORD& received, bool& timedOut) {
    received = 0;
    timedOut = false;
    Vorn::Sockets::Socket& socket = m_Connection->GetSocket();
    if (!m_Framer.HoldsPart())
        return Vorn::Sockets::Recv(socket, m_Framer.Space(), m_Framer.SpaceSize(), received);
    // A shutdown of the socket (the destructor) ends this receive as well, with 0 bytes.
    m_Received->Reset();
    Vorn::Sockets::AsyncResult* receive =
        Vorn::Sockets::AsyncRecv(socket, m_Framer.Space(), m_Framer.SpaceSize(), m_Received);
    if (!receive) {
        QUOR_LOG(Quor::Log::ERROR, "AsyncRecv failed.");
        return false;
    }
    timedOut = m_Received->Wait(kPartLimitMs) != Vorn::WAIT_OBJECT_0;
    const bool ok = !timedOut && Vorn::Sockets::GetAsyncResult(receive, &received);
    Vorn::Sockets::ReleaseAsyncResult(receive);
    return ok;
}

}  // namespace Quor::Orvane::WinSock
