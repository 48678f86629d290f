#include "common/LastError.h"

#include "common/Log.h"

namespace Quor::Common {

HRESULT LastErrorFailure(const char* tag) {
    HRESULT hr = Log::Internal::LogGetLastError(tag);
    if (SUCCEEDED(hr)) {
        Log::Internal::PrintTagged(Log::ERROR, tag, "The operation failed without a system error number.");
        hr = E_FAIL;
    }
    return hr;
}

}  // namespace Quor::Common
