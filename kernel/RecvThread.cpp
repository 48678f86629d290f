#include "kernel/RecvThread.h"

#include <vector>

#include "common/Log.h"
#include "common/Win32Helper.h"
#include "foundation/EventMultiWaitable.h"
#include "foundation/Sockets.h"
#include "foundation/WaitForMultipleEvents.h"
#include "foundation/WaitResult.h"
#include "kernel/Connection.h"
#include "kernel/ConnectionThread.h"
#include "kernel/WinSockManager.h"

namespace Quor::Orvane::WinSock {

RecvThread::RecvThread(ConnectionThread& listener, std::shared_ptr<Connection> connection, HRESULT& hr)
    : m_Listener(listener), m_Connection(std::move(connection)) {
    QUOR_LOG(Quor::Log::VERBOSE, "(0x%08x)", m_Connection->GetId());
    hr = S_OK;
    m_OperationEvent = Vorn::EventMultiWaitable::Create(true, false);
    m_TerminateEvent = Vorn::EventMultiWaitable::Create(true, false);
    m_Thread = Vorn::threadCreate(&RecvThread::ThreadProc, this);
    if (!m_Thread) {
        hr = E_FAIL;
        QUOR_LOG(Quor::Log::ERROR, "Failed to create thread.");
    }
}

RecvThread::~RecvThread() {
    QUOR_LOG(Quor::Log::VERBOSE, "()");
    if (m_Thread) {
        if (!m_TerminateEvent->Set())
            QUOR_LOG(Quor::Log::ERROR, "Failed to set event needed to terminate thread.");
        if (Vorn::threadJoin(m_Thread, 1000) != Vorn::WAIT_OBJECT_0 && !Vorn::threadTerminate(m_Thread, 0))
            QUOR_LOG(Quor::Log::ERROR, "threadTerminate failed.");
        m_Thread.reset();
    }
}

Vorn::uint32 RecvThread::ThreadProc(void* self) { return static_cast<RecvThread*>(self)->Run(); }

Vorn::uint32 RecvThread::Run() {
    Manager& manager = m_Listener.GetManager();
    const DWORD id = m_Connection->GetId();
    HRESULT hr = S_OK;
    bool terminated = false;
    while (!terminated && SUCCEEDED(hr)) {
        m_OperationEvent->Reset();
        Vorn::Sockets::AsyncResult* receive = Vorn::Sockets::AsyncRecv(
            m_Connection->GetSocket(), m_Framer.Space(), m_Framer.SpaceSize(), m_OperationEvent);
        if (!receive) {
            hr = E_FAIL;
            QUOR_LOG(Quor::Log::ERROR, "AsyncRecv failed.");
            break;
        }
        QUOR_LOG(Quor::Log::VERBOSE, "Going to sleep waiting for an event");
        const std::shared_ptr<Vorn::EventMultiWaitable> events[2] = {m_OperationEvent, m_TerminateEvent};
        DWORD result;
        do {
            result = Vorn::WaitForMultipleEvents(2, events, false, Vorn::INFINITE);
        } while (result == Vorn::WAIT_NONE_SIGNALLED);
        if (result == 0) {
            QUOR_LOG(Quor::Log::VERBOSE, "Operation event signaled.");
            DWORD received = 0;
            const bool ok = Vorn::Sockets::GetAsyncResult(receive, &received);
            Vorn::Sockets::ReleaseAsyncResult(receive);
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
                received, [&](const BYTE* bytes, UINT size) { requests.push_back(PACKET::Copy(id, bytes, size)); },
                badLength);
            if (!requests.empty()) manager.DeliverPackets(requests);
            if (!whole) {
                QUOR_LOG(Quor::Log::ERROR, "Request length %u out of range, closing connection 0x%08x", badLength,
                         id);
                hr = E_FAIL;
            }
        } else if (result == 1) {
            QUOR_LOG(Quor::Log::VERBOSE, "Terminate event signaled.");
            Vorn::Sockets::ReleaseAsyncResult(receive);
            terminated = true;
        } else {
            QUOR_LOG(Quor::Log::ERROR, "Unexpected object signaled.");
            Vorn::Sockets::ReleaseAsyncResult(receive);
            hr = E_FAIL;
        }
    }
    manager.EndConnection(*m_Connection, !terminated);
    m_Result = hr;
    QUOR_LOG(Quor::Log::VERBOSE, "Terminating (Thread ID: 0x%08x).", Quor::Common::Win32Helper::GetCurrentThreadId());
    ConnectionThread& listener = m_Listener;
    m_Ended.store(true);
    listener.NotifyEnded();
    return 0;
}

}  // namespace Quor::Orvane::WinSock
