#pragma once
// Quor::User::DownloadFilesGetFileProgressCallback: the byte listener of one download made by the
// download manager or the package bins.
//
// When its stop flag is given and raised it answers E_FAIL at once; otherwise it credits the bytes
// to its timer (and so to the timer's progress object), ticks the progress and, when the job's
// cancellation flag is set, logs "Cancellation request detected, aborting" and answers E_ABORT.
// Either negative answer aborts the transfer. It credits no more than the transfer's announced
// size (the bytes the download total counts for it; negative: no bound), so that a body longer
// than announced never carries the progress past its total; Credited() is what it credited so
// far. GetFileMaximumBytes is the bound given at construction (negative: none): the transfer is cut
// there. The object lives beside its timer on the stack of the
// code that starts one transfer and is used on that thread only; the stop flag may be raised from
// any thread. Neither the timer nor the flag is owned.
#include <atomic>

#include "common/AutoUpdateProgress.h"
#include "foundation/Types.h"
#include "remote/IGetFileProgressCallback.h"

namespace Quor::User {

class DownloadFilesGetFileProgressCallback final : public Common::IGetFileProgressCallback {
public:
    // stop may be null: no stop request reaches the transfer.
    DownloadFilesGetFileProgressCallback(AutoUpdateProgress::AutoTimer* timer, const std::atomic<bool>* stop,
                                         int64_t announced = -1, int64_t maximum = -1)
        : m_Timer(timer), m_Stop(stop), m_Announced(announced), m_Maximum(maximum) {}

    HRESULT GetFileProgressCallback(const SIZE_T bytes) override;
    int64_t GetFileMaximumBytes() const override { return m_Maximum; }
    int64_t Credited() const { return m_Credited; }

private:
    AutoUpdateProgress::AutoTimer* m_Timer;
    const std::atomic<bool>* m_Stop;
    int64_t m_Announced;
    int64_t m_Maximum;
    int64_t m_Credited = 0;
};

}  // namespace Quor::User
