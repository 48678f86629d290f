#include "kernel/SelfUpdateBound.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace Quor::Orvane {

namespace fs = std::filesystem;

uint64_t KernelFolderBytes(const std::string& folder) {
    std::error_code error;
    uint64_t bytes = 0;
    fs::recursive_directory_iterator walk(folder, fs::directory_options::none, error);
    for (const fs::recursive_directory_iterator end; !error && walk != end; walk.increment(error)) {
        const fs::file_status status = walk->symlink_status(error);
        if (error) break;
        if (walk.depth() == 0 && walk->path().filename() == "temp") {
            walk.disable_recursion_pending();
            continue;
        }
        if (!fs::is_regular_file(status)) continue;
        const uintmax_t size = walk->file_size(error);
        if (error) break;
        bytes += size;
    }
    return bytes;
}

uint64_t SelfUpdateByteCap(const std::string& folder) {
    return std::max(kSelfUpdateSizeFactor * KernelFolderBytes(folder), kSelfUpdateMinimumBytes);
}

HRESULT SelfUpdateBudget::GetFileProgressCallback(const SIZE_T delta) {
    m_Used = std::min<uint64_t>(m_Cap, m_Used + delta);
    return S_OK;
}

int64_t SelfUpdateBudget::GetFileMaximumBytes() const { return static_cast<int64_t>(m_Cap - m_Used); }

}  // namespace Quor::Orvane
