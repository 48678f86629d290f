#include "common/CaseInsensitivePredicate.h"

#include "foundation/CStd/CStdStrings.h"

namespace Quor::Common::StringHelper {

bool CaseInsensitivePredicate(const std::string& a, const std::string& b) {
    return Vorn::std_stricmp(a.c_str(), b.c_str()) < 0;
}

}  // namespace Quor::Common::StringHelper
