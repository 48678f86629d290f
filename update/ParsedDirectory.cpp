#include "update/ParsedDirectory.h"

#include <algorithm>

#include "common/LocalFileSystem.h"
#include "common/Log.h"

namespace Quor::User::Repair {

HRESULT ParsedDirectory::Parse() {
    std::vector<Vorn::FileSystem::FindFileResult> entries;
    const HRESULT hr = Common::LocalFileSystem::FindFiles(entries, "*");
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to enumerate contents of folder while discovering files.");
        return hr;
    }
    for (const auto& entry : entries) {
        if (entry.name == "." || entry.name == "..") continue;
        (entry.isDirectory ? m_Directories : m_Files).push_back(entry.name);
    }
    std::sort(m_Directories.begin(), m_Directories.end());
    std::sort(m_Files.begin(), m_Files.end());
    return S_OK;
}

}  // namespace Quor::User::Repair
