// Exception with a text (see CStdException.h).
#include "foundation/CStd/CStdException.h"

#include "platform/StringBounds.h"

namespace Vorn {

std_exception::std_exception() noexcept { Quor::Platform::StrLCopy(m_text, "unknown", sizeof m_text); }

std_exception::std_exception(const char* text) noexcept {
    Quor::Platform::StrLCopy(m_text, text ? text : "unknown", sizeof m_text);
}

const char* std_exception::what() const noexcept { return m_text; }

}  // namespace Vorn
