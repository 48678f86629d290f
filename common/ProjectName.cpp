#include "common/ProjectName.h"

#include "common/RelativeName.h"

namespace Quor::Common {

bool IsValidProjectName(std::string_view name) {
    return IsValidRelativeName(name) && name.find('/') == std::string_view::npos;
}

}  // namespace Quor::Common
