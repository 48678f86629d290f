#include "kernel/WorkingThread.h"

#include "common/Log.h"
#include "foundation/ByteOrder.h"
#include "foundation/EventMultiWaitable.h"
#include "foundation/WaitResult.h"
#include "kernel/FailureAnswer.h"
#include "kernel/IRequestHandler.h"
#include "protocol/PacketType.h"
#include "protocol/ToOrvaneDispatch.h"

namespace Quor::Orvane {

WorkingThread::WorkingThread(PACKET&& packet, IRequestHandler& handler,
                             Quor::OrvaneProtocol::IOrvaneToApp& answers,
                             const std::shared_ptr<Quor::Common::ThreadPool::IPool>& pool, HRESULT& hr)
    : m_Packet(std::move(packet)), m_Handler(handler), m_Answers(answers) {
    QUOR_LOG(Quor::Log::VERBOSE, "%s", "");
    // The request server peeked the packet: its header is whole.
    if (m_Packet.size >= Quor::OrvaneProtocol::REQUEST_HEADER_SIZE) {
        m_RequestId = Vorn::Bytes::LoadLE32(m_Packet.data.get() + 4);
        m_Type = Vorn::Bytes::LoadLE32(m_Packet.data.get() + 8);
    }
    hr = S_OK;
    m_Thread = pool->CreateThread(&WorkingThread::ThreadProc, this);
    if (m_Thread)
        hr = m_Thread->GetLastError();
    else
        hr = E_FAIL;
    if (FAILED(hr)) {
        QUOR_LOG(Quor::Log::ERROR, "Failed to create thread");
        m_Thread.reset();
    }
}

WorkingThread::~WorkingThread() {
    m_Handler.SetCancel(false);
    m_Thread.reset();
}

std::shared_ptr<Vorn::EventMultiWaitable> WorkingThread::GetDoneEvent() const {
    return m_Thread ? m_Thread->GetDoneExecuteEventHandle() : nullptr;
}

void WorkingThread::Cancel() {
    m_Handler.SetCancel(true);
}

bool WorkingThread::WaitForEnd(DWORD ms) const {
    const auto done = GetDoneEvent();
    return !done || done->Wait(ms) == Vorn::WAIT_OBJECT_0;
}

void WorkingThread::GiveUp() {
    if (m_Thread && FAILED(m_Thread->Terminate())) QUOR_LOG(Quor::Log::ERROR, "Terminate failed.");
}

Vorn::uint32 WorkingThread::ThreadProc(void* self) {
    return static_cast<WorkingThread*>(self)->Run();
}

Vorn::uint32 WorkingThread::Run() {
    QUOR_LOG(Quor::Log::VERBOSE, "()");
    const HRESULT hr = Quor::OrvaneProtocol::ToOrvane::TranslateAndDispatch(
        m_Packet.connection, m_Packet.size, m_Packet.data.get(), m_Handler);
    if (FAILED(hr)) {
        QUOR_LOG(Quor::Log::ERROR, "TranslateAndDispatch failed.");
        // A request of a known type whose body does not decode still gets its answer.
        AnswerFailure(m_Answers, m_Packet.connection, m_RequestId, m_Type, E_FAIL);
    }
    return 0;
}

}  // namespace Quor::Orvane
