#include "common/SystemErrorText.h"

#include "foundation/CStd/CStd.h"

namespace Quor::Common {

std::string SystemErrorText(int error) {
    char buffer[1024];
    buffer[0] = '\0';
    Vorn::std_strerror(error, buffer, sizeof buffer);
    return buffer;
}

}  // namespace Quor::Common
