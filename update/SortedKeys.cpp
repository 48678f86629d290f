#include "update/SortedKeys.h"

#include <algorithm>

#include "foundation/CStd/CStdStrings.h"

namespace Quor::User::SortedKeys {

bool Less(const std::string& a, const std::string& b) { return Vorn::std_stricmp(a.c_str(), b.c_str()) < 0; }

bool Insert(std::vector<std::string>& keys, const std::string& key) {
    const auto at = std::lower_bound(keys.begin(), keys.end(), key, Less);
    if (at != keys.end() && !Less(key, *at)) return false;
    keys.insert(at, key);
    return true;
}

bool Contains(const std::vector<std::string>& keys, const std::string& key) {
    return std::binary_search(keys.begin(), keys.end(), key, Less);
}

}  // namespace Quor::User::SortedKeys
