#pragma once
// StringHelper::CaseInsensitivePredicate: the strict weak order of texts without regard to
// (ASCII) case that the manifests keep their name lists in. Pure; thread-safe.
#include <string>

namespace Quor::Common::StringHelper {

// True when Vorn::std_stricmp(a, b) is negative.
bool CaseInsensitivePredicate(const std::string& a, const std::string& b);

}  // namespace Quor::Common::StringHelper
