#include "kernel/KernelThread.h"

#include <vector>

#include "common/Log.h"
#include "foundation/ByteOrder.h"
#include "foundation/EventMultiWaitable.h"
#include "foundation/SharedMutex.h"
#include "foundation/WaitForMultipleEvents.h"
#include "foundation/WaitResult.h"
#include "kernel/FailureAnswer.h"
#include "kernel/IRequestHandler.h"
#include "kernel/ToOrvaneImpl.h"
#include "kernel/WinSockManager.h"
#include "kernel/WorkingThread.h"
#include "protocol/Port.h"
#include "protocol/ToAppSend.h"
#include "protocol/ToOrvaneDispatch.h"

namespace Quor::Orvane {

using Quor::OrvaneProtocol::ToOrvane::PEEK_PACKET_DATA;
using Quor::OrvaneProtocol::ToOrvane::PeekPacket;

KernelThread::KernelThread(std::shared_ptr<Quor::Common::ThreadPool::IPool> pool, HRESULT& hr)
    : KernelThread(std::move(pool), KernelThreadOptions{}, hr) {}

KernelThread::KernelThread(std::shared_ptr<Quor::Common::ThreadPool::IPool> pool, KernelThreadOptions options,
                           HRESULT& hr)
    : m_Pool(std::move(pool)), m_Options(std::move(options)) {
    QUOR_LOG(Quor::Log::DEBUG, "%s", "");
    hr = S_OK;
    m_TerminateEvent = Vorn::EventMultiWaitable::Create(true, false);

    if (Vorn::SharedMutex::Find(kInstanceMutexName)->IsValid() && Vorn::Semaphore::IsOwnName(kInstanceMutexName)) {
        QUOR_LOG(Quor::Log::ERROR, "Already running.");
        hr = E_FAIL;
        return;
    }
    // A name another user made in its place is removed and made anew as this user's.
    m_InstanceMarker = Vorn::SharedMutex::CreateOwn(kInstanceMutexName);
    if (!m_InstanceMarker->IsValid()) {
        QUOR_LOG(Quor::Log::ERROR, "The instance semaphore %s is another user's and cannot be replaced.",
                 Vorn::InstanceName(kInstanceMutexName).c_str());
        hr = E_FAIL;
        return;
    }

    const unsigned port = m_Options.port ? m_Options.port : Quor::OrvaneProtocol::GetOrvanePort();
    auto manager = std::make_unique<WinSock::Manager>(hr, port, m_Options.sendTimeoutMs);
    m_Connections = std::move(manager);
    if (FAILED(hr)) {
        QUOR_LOG(Quor::Log::ERROR, "Failed to start network.");
        return;
    }

    if (m_Options.makeHandler)
        m_Handler = m_Options.makeHandler(*this, *m_Connections);
    else
        m_Handler = std::make_unique<ToOrvaneImpl>(*this, *m_Connections);
    m_Answers = std::make_unique<Quor::OrvaneProtocol::ToApp::Send>(*m_Connections);

    m_Thread = Vorn::threadCreate(&KernelThread::Trampoline, this);
    if (!m_Thread) {
        hr = E_FAIL;
        QUOR_LOG(Quor::Log::ERROR, "Failed to create thread.");
    }
}

KernelThread::~KernelThread() {
    QUOR_LOG(Quor::Log::DEBUG, "()");
    if (m_Thread) {
        if (!m_TerminateEvent->Set())
            QUOR_LOG(Quor::Log::ERROR, "Failed to set event needed to terminate thread.");
        if (Vorn::threadJoin(m_Thread, 1000) != Vorn::WAIT_OBJECT_0) {
            // The thread only ever waits for a cancelled job, which is bounded; its objects must
            // outlive it.
            QUOR_LOG(Quor::Log::ERROR,
                     "Server thread did not end within 1000 ms, waiting for its current step.");
            Vorn::threadJoin(m_Thread, Vorn::INFINITE);
        }
        m_Thread.reset();
    }
    if (m_Job) RetireJob();
    if (m_GivenUpJob && !m_GivenUpJob->WaitForEnd(0)) {
        // A job that never returned still uses the handler and the transport: they stay alive
        // (closed) for it, since the process is ending anyway.
        QUOR_LOG(Quor::Log::ERROR,
                 "A given-up job is still running; leaving its handler and transport to it.");
        if (m_Connections) m_Connections->CloseAll();
        (void)m_GivenUpJob.release();
        (void)m_Handler.release();
        (void)m_Answers.release();
        (void)m_Connections.release();
    }
    m_GivenUpJob.reset();
    m_Answers.reset();
    m_Handler.reset();
    m_Connections.reset();
    m_Queue.Clear();
    m_InstanceMarker.reset();
}

Vorn::uint32 KernelThread::Trampoline(void* self) {
    return static_cast<KernelThread*>(self)->ThreadProc();
}

Vorn::uint32 KernelThread::ThreadProc() {
    QUOR_LOG(Quor::Log::DEBUG, "()");
    HRESULT hr = S_OK;
    while (SUCCEEDED(hr) && !m_Stop.load()) {
        WorkingThread* running = m_Job ? m_Job.get() : m_GivenUpJob.get();
        std::shared_ptr<Vorn::EventMultiWaitable> events[3] = {
            m_TerminateEvent, m_Connections->GetPacketEvent(), running ? running->GetDoneEvent() : nullptr};
        const DWORD count = events[2] ? 3 : 2;
        QUOR_LOG(Quor::Log::VERBOSE, "(): Going to sleep waiting for packets.");
        const DWORD result = Vorn::WaitForMultipleEvents(count, events, false, Vorn::INFINITE);
        if (result == 0) {
            QUOR_LOG(Quor::Log::DEBUG, "Terminate event signaled.");
            break;
        } else if (result == 1) {
            QUOR_LOG(Quor::Log::VERBOSE, "Woken up due to incoming data.");
            hr = CheckPackets();
            // Under a steady stream of packets the packet event always wins the wait: reap a
            // finished job here as well, or it would wait for a quiet moment.
            if (m_Job && m_Job->WaitForEnd(0)) m_Job.reset();
            if (SUCCEEDED(hr)) hr = StartNewWork();
        } else if (result == 2 && count == 3) {
            QUOR_LOG(Quor::Log::VERBOSE, "Woken up due WorkingThread complete.");
            if (m_Job) {
                m_Job.reset();
            } else {
                QUOR_LOG(Quor::Log::ERROR, "A given-up job has returned at last.");
                m_GivenUpJob.reset();
            }
            hr = StartNewWork();
        } else if (result == Vorn::WAIT_NONE_SIGNALLED) {
            continue;
        } else if (result == Vorn::WAIT_TIMEOUT) {
            QUOR_LOG(Quor::Log::ERROR, "Vorn::WaitForMultipleEvents timed out.");
            hr = E_FAIL;
        } else {
            QUOR_LOG(Quor::Log::ERROR, "Unexpected object signaled.");
            hr = E_FAIL;
        }
    }
    // No client may wait for an answer that will never come: stop listening and close everything.
    QUOR_LOG(Quor::Log::DEBUG, "Request server stopped, closing all connections.");
    if (m_Job) m_Job->Cancel();
    m_Connections->CloseAll();
    return 0;
}

HRESULT KernelThread::CheckPackets() {
    QUOR_LOG(Quor::Log::VERBOSE, "%s", "");
    std::vector<PACKET> packets;
    std::vector<DWORD> disconnections;
    {
        // Taken out under the lock, handled without it: receive threads never wait for a job.
        auto lock = m_Connections->CreateAutoLock();
        packets.swap(lock->GetPackets());
        disconnections.swap(lock->GetDisconnections());
    }

    std::vector<std::pair<DWORD, DWORD>> cancels;
    for (PACKET& packet : packets) {
        PEEK_PACKET_DATA peek;
        if (FAILED(PeekPacket(packet.size, packet.data.get(), peek))) {
            QUOR_LOG(Quor::Log::ERROR, "Failed to peek packet, ignoring packet");
        } else if (peek.isCancel) {
            cancels.emplace_back(packet.connection, peek.requestId);
        } else {
            m_Queue.Push(std::move(packet));
        }
    }
    for (const auto& [connection, requestId] : cancels) {
        QUOR_LOG(Quor::Log::VERBOSE, "Cancelling packet (x%08x,x%08x)", connection, requestId);
        CancelRequest(connection, requestId);
    }
    for (const DWORD connection : disconnections) {
        QUOR_LOG(Quor::Log::DEBUG, "Handling disconnection of 0x%08x", connection);
        if (m_Job && m_Job->GetConnection() == connection) {
            QUOR_LOG(Quor::Log::DEBUG, "Job is underway for disconnecting client, terminating job");
            RetireJob();
        }
        m_Queue.RemoveIf(connection, [](const PACKET&) {
            QUOR_LOG(Quor::Log::VERBOSE, "Found a waiting packet for disconnecting client, discarding");
            return true;
        });
        m_EndedConnections.push_back(connection);
    }
    return S_OK;
}

HRESULT KernelThread::CancelRequest(const DWORD connection, const DWORD requestId) {
    QUOR_LOG(Quor::Log::DEBUG, "(%u)", requestId);
    if (m_Job && m_Job->GetConnection() == connection && m_Job->GetRequestId() == requestId) {
        QUOR_LOG(Quor::Log::DEBUG, "Cancelling job currently underway");
        RetireJob();
    }
    m_Queue.RemoveIf(connection, [&](const PACKET& packet) {
        if (Vorn::Bytes::LoadLE32(packet.data.get() + 4) != requestId) return false;
        QUOR_LOG(Quor::Log::VERBOSE, "Found a waiting packet that has been cancelled");
        AnswerCancelled(packet);
        return true;
    });
    return S_OK;
}

HRESULT KernelThread::StartNewWork() {
    QUOR_LOG(Quor::Log::VERBOSE, "%s", "");
    if (!m_Job && !m_GivenUpJob) EndConnections();
    // After a Terminate nothing new starts; a given-up job keeps the handler until it returns.
    if (m_Job || m_GivenUpJob || m_Queue.Empty() || m_Stop.load()) return S_OK;
    HRESULT hr = S_OK;
    auto job =
        std::make_unique<WorkingThread>(std::move(m_Queue.Front()), *m_Handler, *m_Answers, m_Pool, hr);
    if (FAILED(hr)) {
        QUOR_LOG(Quor::Log::ERROR, "Failed to create WorkingThread object");
        m_Queue.Front() = job->TakePacket();
        return hr;
    }
    (void)m_Queue.PopFront();
    m_Job = std::move(job);
    return S_OK;
}

void KernelThread::RetireJob() {
    m_Job->Cancel();
    if (m_Job->WaitForEnd(m_Options.jobGiveUpMs)) {
        m_Job.reset();
        return;
    }
    // Never killed: the job keeps its bytes, the handler and its connection until it returns, and
    // no other job starts before that.
    QUOR_LOG(Quor::Log::ERROR, "Thread did not terminate, calling Termiante");
    m_Job->GiveUp();
    m_GivenUpJob = std::move(m_Job);
}

void KernelThread::EndConnections() {
    for (const DWORD connection : m_EndedConnections) m_Handler->ConnectionEnded(connection);
    m_EndedConnections.clear();
}

void KernelThread::AnswerCancelled(const PACKET& packet) {
    // The client that cancels a request it is waiting for gets its answer instead of waiting on.
    const DWORD requestId = Vorn::Bytes::LoadLE32(packet.data.get() + 4);
    const DWORD type = Vorn::Bytes::LoadLE32(packet.data.get() + 8);
    AnswerFailure(*m_Answers, packet.connection, requestId, type, E_ABORT);
}

}  // namespace Quor::Orvane
