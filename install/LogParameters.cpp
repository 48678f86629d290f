#include "install/LogParameters.h"

#include "common/Log.h"

namespace Quor::User {

HRESULT SetLogParameters(const UINT logLevel) {
    QUOR_LOG(Log::DEBUG, "%d", static_cast<int>(logLevel));
    Log::SetLogLevel(static_cast<Log::TYPE>(logLevel));
    return S_OK;
}

}  // namespace Quor::User
