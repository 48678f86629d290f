#pragma once
// Quor::API::Impl::AsyncOperation: the completion part of a background operation — a mutex for
// its results, a completion event (automatic reset) and a completion flag. Completion happens at
// most once; waiting on a completed operation returns at once. The completion state is shared
// (Completion) so that a worker that outlives its operation object can still complete it
// safely. The base offers no cancellation.
#include <atomic>
#include <memory>

#include "api/IAsyncLoadFile.h"
#include "foundation/Mutex.h"

namespace Quor::API::Impl {

class AsyncOperation : public virtual Quor::API::IAsyncOperation {
public:
    struct Completion {
        std::shared_ptr<Vorn::Mutex> mutex;
        std::shared_ptr<Vorn::EventMultiWaitable> event;
        std::atomic<bool> complete{false};
        std::atomic<bool> signalled{false};  // the event was set (once)
        // Marks complete and sets the event, the first time only. False when the event could
        // not be set.
        bool OnComplete();
    };

    AsyncOperation();
    ~AsyncOperation() override;
    AsyncOperation(const AsyncOperation&) = delete;
    AsyncOperation& operator=(const AsyncOperation&) = delete;

    void WaitUntilComplete() override;
    std::shared_ptr<Vorn::EventMultiWaitable> GetEvent() override { return m_Completion->event; }
    bool GetIsComplete() const override { return m_Completion->complete; }
    void Cancel() override;

    bool OnComplete() { return m_Completion->OnComplete(); }

protected:
    const std::shared_ptr<Completion>& GetCompletion() const { return m_Completion; }

private:
    std::shared_ptr<Completion> m_Completion;
};

}  // namespace Quor::API::Impl
