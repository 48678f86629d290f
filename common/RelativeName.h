#pragma once
// The rule every name read from outside input (manifests, listings, archive indexes, requests)
// must pass before it becomes part of a local path: a relative path of "/"-separated segments
// that can never leave the folder it is joined to.
//
// Pure function of its argument; thread-safe; never fails other than by answering false.
#include <string_view>

namespace Quor::Common {

// True when `name` is not empty, does not start with "/", and each of its "/"-separated segments
// is non-empty and neither "." nor "..", and the name holds no backslash and no NUL byte.
bool IsValidRelativeName(std::string_view name);

}  // namespace Quor::Common
