#pragma once
// Quor::API::Impl::RPC::Base: what every request object shares — its manager, id, completion,
// result lock, status, latest progress and the caller's progress listener.
//
// Completion happens once (a response, or a failure when the request cannot complete); the flag
// is atomic and WaitUntilComplete returns at once on a complete request, however often it is
// called and whoever waited on GetEvent before. The progress record is copied under its own lock.
// A request dropped before completion sends a Cancel for its id. The request must be released
// before its manager is destroyed. Lock order: manager's mutex, then the request's result lock.
#include <atomic>
#include <condition_variable>
#include <memory>
#include <string>

#include "api/RPC/Requests.h"
#include "foundation/AnnotatedMutex.h"

namespace Quor::API::Impl::RPC {

class Manager;

class Base : public virtual Quor::API::RPC::IBase {
public:
    Base(Manager& manager, const DWORD requestId, const std::weak_ptr<Quor::API::IUpdateProgress> listener);
    ~Base() override;
    Base(const Base&) = delete;
    Base& operator=(const Base&) = delete;

    void WaitUntilComplete() override;
    std::shared_ptr<Vorn::EventMultiWaitable> GetEvent() const override;
    bool GetIsComplete() const override;
    Quor::API::Progress GetProgress() const override;
    void Cancel() override;

    DWORD GetRequestId() const { return m_RequestId; }
    // One progress report of the kernel: stored, then handed to the listener when it still lives.
    void UpdateProgress(const UINT counter1, const UINT counter2, const UINT counter3, const UINT counter4,
                        const UINT bytesDownloaded, const UINT bytesToDownload,
                        const Quor::API::Progress::OperationType operationType,
                        const Quor::API::Progress::StepType stepType, const float elapsedSeconds,
                        const float remainingSeconds, const std::string& currentItem);
    // Completes the request with `hr` as its result code, without a response.
    HRESULT Fail(HRESULT hr);

protected:
    HRESULT OnComplete();
    Vorn::AnnotatedMutex& ResultMutex() const RETURN_CAPABILITY(m_Mutex) { return m_Mutex; }
    HRESULT Status() const { return m_Status; }
    void SetStatus(HRESULT hr) { m_Status = hr; }
    // Stores a failure code in the request type's own code field.
    virtual void StoreFailureLocked(HRESULT) REQUIRES(m_Mutex) {}

private:
    mutable Vorn::AnnotatedMutex m_Mutex;  // guards the result fields of the request type
    std::atomic<HRESULT> m_Status{S_OK};
    Manager& m_Manager;
    std::shared_ptr<Vorn::EventMultiWaitable> m_Event;
    const DWORD m_RequestId;
    std::atomic<bool> m_IsComplete{false};
    Vorn::AnnotatedMutex m_CompletionMutex;  // orders m_IsComplete against the completion wait
    std::condition_variable m_Completed;
    mutable Vorn::AnnotatedMutex m_ProgressMutex;
    Quor::API::Progress m_Progress GUARDED_BY(m_ProgressMutex);
    std::weak_ptr<Quor::API::IUpdateProgress> m_Listener;
};

}  // namespace Quor::API::Impl::RPC
