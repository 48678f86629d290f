#include "api/AsyncOperation.h"

#include "common/Log.h"
#include "foundation/WaitResult.h"

namespace Quor::API::Impl {

using Quor::Log::ERROR;
using Quor::Log::VERBOSE;
using Quor::Log::WARNING;

bool AsyncOperation::Completion::OnComplete() {
    QUOR_LOG(VERBOSE, "()");
    if (signalled.exchange(true)) return true;
    complete = true;
    if (!event || !event->Set()) {
        QUOR_LOG(ERROR, "SetEvent failed");
        return false;
    }
    return true;
}

AsyncOperation::AsyncOperation() : m_Completion(std::make_shared<Completion>()) {
    m_Completion->mutex = Vorn::Mutex::Create(false);
    m_Completion->event = Vorn::EventMultiWaitable::Create(false, false);
    if (!m_Completion->event) {
        Quor::Log::Internal::LogGetLastError(__PRETTY_FUNCTION__);
        QUOR_LOG(ERROR, "EventMultiWaitable::Create failed.");
        m_Completion->complete = true;
        m_Completion->signalled = true;
    }
}

AsyncOperation::~AsyncOperation() {
    if (!m_Completion->complete) QUOR_LOG(WARNING, "This operation cannot be cancelled");
}

void AsyncOperation::WaitUntilComplete() {
    // The event resets when a waiter takes it: a completed operation is not waited for again.
    while (!m_Completion->complete) {
        if (!m_Completion->event || m_Completion->event->Wait(Vorn::INFINITE) == Vorn::WAIT_FAILED) {
            QUOR_LOG(ERROR, "WaitForSingleObject failed");
            return;
        }
    }
}

void AsyncOperation::Cancel() { QUOR_LOG(WARNING, "This operation cannot be cancelled"); }

}  // namespace Quor::API::Impl
