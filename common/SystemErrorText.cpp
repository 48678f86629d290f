#include "common/SystemErrorText.h"

#include <cstring>

namespace Quor::Common {

std::string SystemErrorText(int error) {
    // TODO(foundation): Vorn::std_strerror(error, buffer, size) once the bounded runtime has landed.
    char buffer[1024];
    buffer[0] = '\0';
    // The GNU strerror_r returns the text, which may or may not be in the buffer.
    const char* text = strerror_r(error, buffer, sizeof buffer);
    return text ? std::string(text) : std::string(buffer);
}

}  // namespace Quor::Common
