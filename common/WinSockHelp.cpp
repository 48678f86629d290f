#include "common/WinSockHelp.h"

namespace Quor::Common::WinSockHelp {

AutoStartup::AutoStartup(uint16_t /*version*/) : m_Result(S_OK) {}

}  // namespace Quor::Common::WinSockHelp
