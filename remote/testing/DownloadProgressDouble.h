#pragma once
// Test double of the release installation's download listener: an IGetFileProgressCallback with
// a stop flag (answers E_FAIL at once when set), a counting switch, and the job's cancellation
// flag (answers E_ABORT, logging "Cancellation request detected, aborting", when set). It adds up
// the bytes it is told about instead of crediting a progress object.
// Used by one download thread; the flags may be set from any thread.
#include <atomic>

#include "common/Log.h"
#include "remote/IGetFileProgressCallback.h"

namespace QuorTest {

class DownloadProgressDouble final : public Quor::Common::IGetFileProgressCallback {
public:
    explicit DownloadProgressDouble(const std::atomic<bool>* stop = nullptr, bool countingOff = false)
        : m_stop(stop), m_countingOff(countingOff) {}

    HRESULT GetFileProgressCallback(const SIZE_T delta) override {
        ++calls;
        if (m_stop && m_stop->load()) return E_FAIL;
        if (!m_countingOff) bytes += delta;
        if (cancelled.load()) {
            QUOR_LOG(Quor::Log::ERROR, "Cancellation request detected, aborting");
            return E_ABORT;
        }
        return S_OK;
    }

    std::atomic<bool> cancelled{false};  // the job's cancellation flag
    std::atomic<unsigned long long> bytes{0};
    std::atomic<unsigned> calls{0};

private:
    const std::atomic<bool>* m_stop;
    bool m_countingOff;
};

}  // namespace QuorTest
