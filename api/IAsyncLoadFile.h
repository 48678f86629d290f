#pragma once
// Quor::API::IAsyncOperation and IAsyncLoadFile: work that runs in the background and completes
// once, with a result code and, for a load, a buffer of the file's bytes.
//
// WaitUntilComplete returns once the operation has completed (at once when it already has);
// GetEvent is the completion event for callers that wait on several events (automatic reset: one
// wait consumes it; afterwards use GetIsComplete). Cancel asks a running operation to end with
// E_ABORT; a completed one ignores it. Results are read after completion through an
// IAutoLockResult. All operations may be called from any thread; the object is released before
// the main object that made it.
#include <memory>

#include "foundation/EventMultiWaitable.h"
#include "foundation/Types.h"
#include "foundation/api/IBuffer.h"

namespace Quor::API {

class IAsyncOperation {
public:
    virtual ~IAsyncOperation() = default;
    virtual void WaitUntilComplete() = 0;
    virtual std::shared_ptr<Vorn::EventMultiWaitable> GetEvent() = 0;
    virtual bool GetIsComplete() const = 0;
    virtual void Cancel() = 0;
};

class IAsyncLoadFile : public virtual IAsyncOperation {
public:
    class IAutoLockResult {
    public:
        // The loaded bytes; empty unless the load succeeded.
        virtual std::shared_ptr<IBuffer> GetBuffer() const = 0;
        virtual ~IAutoLockResult() = default;
        virtual HRESULT GetHResult() const = 0;
    };

    virtual std::shared_ptr<IAutoLockResult> GetAutoLockResult() = 0;
};

}  // namespace Quor::API
