#include "platform/ExecutablePath.h"

#include <unistd.h>

namespace Quor::Platform {

bool GetExecutablePath(char* buf, size_t size) {
    if (!buf || size == 0) return false;
    buf[0] = '\0';
    ssize_t n = readlink("/proc/self/exe", buf, size);
    if (n <= 0 || static_cast<size_t>(n) >= size) {  // failure, or the path was cut
        buf[0] = '\0';
        return false;
    }
    buf[n] = '\0';
    return true;
}

}  // namespace Quor::Platform
