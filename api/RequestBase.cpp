#include "api/RequestBase.h"

#include "api/RequestManager.h"
#include "common/Log.h"

namespace Quor::API::Impl::RPC {

using Quor::Log::ERROR;
using Quor::Log::VERBOSE;

Base::Base(Manager& manager, const DWORD requestId, const std::weak_ptr<Quor::API::IUpdateProgress> listener)
    : m_Manager(manager),
      m_Event(Vorn::EventMultiWaitable::Create(false, false)),
      m_RequestId(requestId),
      m_Listener(listener) {}

Base::~Base() {
    if (!m_IsComplete) Cancel();
}

void Base::WaitUntilComplete() {
    QUOR_LOG(VERBOSE, "()");
    Vorn::AnnotatedUniqueLock lock(m_CompletionMutex);
    m_Completed.wait(lock.ForWait(), [&] { return m_IsComplete.load(); });
}

std::shared_ptr<Vorn::EventMultiWaitable> Base::GetEvent() const {
    return m_Event;
}

bool Base::GetIsComplete() const {
    return m_IsComplete;
}

Quor::API::Progress Base::GetProgress() const {
    Vorn::AnnotatedLockGuard lock(m_ProgressMutex);
    return m_Progress;
}

void Base::Cancel() {
    QUOR_LOG(VERBOSE, "()");
    m_Manager.SendCancel(m_RequestId);
}

void Base::UpdateProgress(const UINT counter1, const UINT counter2, const UINT counter3, const UINT counter4,
                          const UINT bytesDownloaded, const UINT bytesToDownload,
                          const Quor::API::Progress::OperationType operationType,
                          const Quor::API::Progress::StepType stepType, const float elapsedSeconds,
                          const float remainingSeconds, const std::string& currentItem) {
    QUOR_LOG(VERBOSE, "%d, %d, %d, %d, %d, %d, %d, %d, %g, %g, %s", counter1, counter2, counter3, counter4,
             bytesDownloaded, bytesToDownload, static_cast<int>(operationType), static_cast<int>(stepType),
             static_cast<double>(elapsedSeconds), static_cast<double>(remainingSeconds), currentItem.c_str());
    Quor::API::Progress copy;
    {
        Vorn::AnnotatedLockGuard lock(m_ProgressMutex);
        m_Progress.m_Counter1 = counter1;
        m_Progress.m_Counter2 = counter2;
        m_Progress.m_Counter3 = counter3;
        m_Progress.m_Counter4 = counter4;
        m_Progress.m_BytesDownloaded = bytesDownloaded;
        m_Progress.m_BytesToDownload = bytesToDownload;
        m_Progress.m_OperationType = operationType;
        m_Progress.m_StepType = stepType;
        m_Progress.m_ElapsedSeconds = elapsedSeconds;
        m_Progress.m_RemainingSeconds = remainingSeconds;
        m_Progress.m_CurrentItem = currentItem;
        copy = m_Progress;
    }
    if (const auto listener = m_Listener.lock()) listener->UpdateProgress(copy);
}

HRESULT Base::Fail(HRESULT hr) {
    {
        Vorn::AnnotatedLockGuard lock(m_Mutex);
        m_Status = hr;
        StoreFailureLocked(hr);
    }
    return OnComplete();
}

HRESULT Base::OnComplete() {
    QUOR_LOG(VERBOSE, "()");
    {
        Vorn::AnnotatedLockGuard lock(m_CompletionMutex);
        if (m_IsComplete) return S_OK;
        m_IsComplete = true;
    }
    m_Completed.notify_all();
    if (!m_Event->Set()) {
        QUOR_LOG(ERROR, "Event::Set failed");
        m_Status = E_FAIL;
        return E_FAIL;
    }
    return S_OK;
}

}  // namespace Quor::API::Impl::RPC
