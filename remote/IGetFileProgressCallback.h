#pragma once
// The listener of a download's byte progress, and the bound of its size.
//
// A download calls GetFileProgressCallback on its own thread with the file bytes received since the
// previous call (0 is possible). Over all attempts of one download the deltas add up to the most
// file bytes one attempt received: error pages and bytes an earlier attempt already reported are
// not told. A negative result asks the connection to abort the transfer at
// once; the download then fails with a connection code, and a caller that needs to tell a cancel
// from a failure tests its own flag.
// GetFileMaximumBytes is the most bytes the downloaded file may have (negative: no bound): a body
// that would pass it is cut there, the transfer aborted and the download failed without a retry,
// so that no attempt leaves more than that on disk or in memory; the bound also sizes the
// transfer's deadline. The listener is not owned by the download and is never deleted through
// this interface.
#include <cstdint>

#include "foundation/Types.h"

namespace Quor::Common {

class IGetFileProgressCallback {
public:
    virtual HRESULT GetFileProgressCallback(const SIZE_T delta) = 0;
    virtual int64_t GetFileMaximumBytes() const { return -1; }

protected:
    ~IGetFileProgressCallback() = default;
};

// A listener that only bounds the download: it hears progress and never aborts.
class TransferBound final : public IGetFileProgressCallback {
public:
    explicit TransferBound(int64_t maximumBytes) : m_Maximum(maximumBytes) {}
    HRESULT GetFileProgressCallback(const SIZE_T) override { return S_OK; }
    int64_t GetFileMaximumBytes() const override { return m_Maximum; }

private:
    int64_t m_Maximum;
};

}  // namespace Quor::Common
