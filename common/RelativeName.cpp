#include "common/RelativeName.h"

namespace Quor::Common {

bool IsValidRelativeName(std::string_view name) {
    if (name.empty()) return false;
    size_t start = 0;
    while (true) {
        size_t end = name.find('/', start);
        std::string_view segment =
            name.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (segment.empty() || segment == "." || segment == "..") return false;
        for (char c : segment)
            if (c == '\\' || c == '\0') return false;
        if (end == std::string_view::npos) return true;
        start = end + 1;
    }
}

}  // namespace Quor::Common
