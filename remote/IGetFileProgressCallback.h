#pragma once
// The listener of a download's byte progress.
//
// A download calls GetFileProgressCallback on its own thread with the file bytes received since the
// previous call (0 is possible). Over all attempts of one download the deltas add up to the most
// file bytes one attempt received: error pages and bytes an earlier attempt already reported are
// not told. A negative result asks the connection to abort the transfer at
// once; the download then fails with a connection code, and a caller that needs to tell a cancel
// from a failure tests its own flag. The listener is not owned by the download and is never
// deleted through this interface.
#include "foundation/Types.h"

namespace Quor::Common {

class IGetFileProgressCallback {
public:
    virtual HRESULT GetFileProgressCallback(const SIZE_T delta) = 0;

protected:
    ~IGetFileProgressCallback() = default;
};

}  // namespace Quor::Common
