#include "common/ReadLine.h"

#include <cstring>

namespace Quor::Common {

bool ReadLine(FILE* stream, std::string& line) {
    line.clear();
    char chunk[1024];
    bool any = false;
    while (std::fgets(chunk, sizeof chunk, stream)) {
        any = true;
        const size_t length = std::strlen(chunk);
        if (length > 0 && chunk[length - 1] == '\n') {
            line.append(chunk, length - 1);
            return true;
        }
        line.append(chunk, length);
    }
    return any;
}

}  // namespace Quor::Common
