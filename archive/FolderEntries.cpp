#include "archive/FolderEntries.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "foundation/CStd/CStd.h"

namespace Quor::FileSystem::Impl {

std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    char* block = nullptr;
    if (!Vorn::std_get_dir_listing(folder.c_str(), block)) return names;
    std::unique_ptr<char, void (*)(char*)> list(block, Vorn::std_free_dir_listing);
    for (const char* name = list.get(); *name; name += std::strlen(name) + 1) names.emplace_back(name);
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace Quor::FileSystem::Impl
