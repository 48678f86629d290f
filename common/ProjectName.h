#pragma once
// Project and solution names become folder names of the install tree
// ({root}/projects/{name}); a name read from outside input must be one plain folder name.
#include <string_view>

namespace Quor::Common {

// True when `name` is a valid relative name (see IsValidRelativeName) without any "/".
bool IsValidProjectName(std::string_view name);

}  // namespace Quor::Common
