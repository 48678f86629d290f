#pragma once
// Quor::Orvane::WorkingThread: one request running on a thread of the kernel's pool. It owns the
// request's bytes until it is deleted.
//
// The request is decoded and handed to the handler on the pool thread; a request of a known type
// whose body does not decode is answered E_FAIL there. The owner (the request server's thread)
// deletes the object only after the job has ended (WaitForEnd true); a job that does not end
// when cancelled is given up (GiveUp) and kept alive until it returns. Deleting it clears the
// handler's cancel flag.
#include <memory>

#include "common/ThreadPool.h"
#include "foundation/Types.h"
#include "kernel/PACKET.h"

namespace Vorn {
class EventMultiWaitable;
}

namespace Quor::OrvaneProtocol {
class IOrvaneToApp;
}

namespace Quor::Orvane {

class IRequestHandler;

class WorkingThread {
public:
    // Starts the request; on failure hr is negative and TakePacket gives the request back.
    WorkingThread(PACKET&& packet, IRequestHandler& handler, Quor::OrvaneProtocol::IOrvaneToApp& answers,
                  const std::shared_ptr<Quor::Common::ThreadPool::IPool>& pool, HRESULT& hr);
    ~WorkingThread();
    WorkingThread(const WorkingThread&) = delete;
    WorkingThread& operator=(const WorkingThread&) = delete;

    // Set once the request has returned; null when no pool thread was started.
    std::shared_ptr<Vorn::EventMultiWaitable> GetDoneEvent() const;
    void Cancel();
    // True when the request has returned within ms milliseconds (or never started).
    bool WaitForEnd(DWORD ms) const;
    // Hands the pool thread over to end on its own (it is never reused).
    void GiveUp();
    PACKET TakePacket() { return std::move(m_Packet); }

    DWORD GetConnection() const { return m_Packet.connection; }
    DWORD GetRequestId() const { return m_RequestId; }

    static Vorn::uint32 ThreadProc(void* self);

private:
    Vorn::uint32 Run();

    std::shared_ptr<Quor::Common::ThreadPool::IThread> m_Thread;
    PACKET m_Packet;
    IRequestHandler& m_Handler;
    Quor::OrvaneProtocol::IOrvaneToApp& m_Answers;
    DWORD m_RequestId = 0;
    DWORD m_Type = 0;
};

}  // namespace Quor::Orvane
