#pragma once
// Scoped start-up of the socket library. No socket library needs starting on this platform: the
// result is always S_OK and the destructor does nothing. A caller that finds the result negative
// logs "Common::WinSockHelp::AutoStartup::AutoStartup failed".
#include <cstdint>

#include "foundation/Types.h"

namespace Quor::Common::WinSockHelp {

class AutoStartup {
public:
    explicit AutoStartup(uint16_t version);
    ~AutoStartup() = default;
    AutoStartup(const AutoStartup&) = delete;
    AutoStartup& operator=(const AutoStartup&) = delete;

    HRESULT m_Result;
};

}  // namespace Quor::Common::WinSockHelp
