#pragma once
// TODO(dep): temporary stand-ins for types being written on other branches (the "no release"
// version and the relative-name rule on `manifests`). Each has the name and
// the interface of the real one and is deleted as soon as the real one lands on main.
#include <string>
#include <string_view>

#include "foundation/Types.h"

namespace Quor {
// TODO(dep): common/ReleaseVersion.h
inline constexpr DWORD INVALID_RELEASE_VERSION = 0xFFFFFFFF;
}  // namespace Quor

namespace Quor::Common {

// TODO(dep): common/RelativeName.h
inline bool IsValidRelativeName(std::string_view name) {
    if (name.empty() || name.front() == '/') return false;
    if (name.find('\\') != std::string_view::npos || name.find('\0') != std::string_view::npos) return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find('/', start);
        if (end == std::string_view::npos) end = name.size();
        const std::string_view segment = name.substr(start, end - start);
        if (segment.empty() || segment == "." || segment == "..") return false;
        start = end + 1;
    }
    return true;
}

}  // namespace Quor::Common
