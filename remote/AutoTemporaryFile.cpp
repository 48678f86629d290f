#include "remote/AutoTemporaryFile.h"

#include <vector>

#include "common/LocalRootFolder.h"
#include "common/Log.h"
#include "foundation/FileSystem/FileSystem.h"

namespace Quor::Common {

AutoTemporaryFile::AutoTemporaryFile(LocalFileSystem& fileSystem, HRESULT& result) : m_fileSystem(fileSystem) {
    QUOR_LOG(Log::VERBOSE, "()");
    std::string path;
    result = m_fileSystem.CreateTempFile(path);
    if (FAILED(result)) {
        QUOR_LOG(Log::ERROR, "Failed to get temporary file name.");
        return;
    }
    m_path = path;
}

AutoTemporaryFile::~AutoTemporaryFile() {
    if (m_path.empty() || m_keep) return;
    if (FAILED(m_fileSystem.DeleteFile(m_path)))
        QUOR_LOG(Log::ERROR, "Failed to delete temporary file \"%s\".", m_path.c_str());
}

void DeleteTemporaryFiles() {
    const std::string folder = LocalRootFolder::Get() + "/temp";
    const std::string pattern = folder + "/" + LocalFileSystem::DefaultTempFilePrefix + "*";
    std::vector<Vorn::FileSystem::FindFileResult> entries;
    if (FAILED(LocalFileSystem::FindFiles(entries, pattern.c_str()))) return;
    for (const auto& entry : entries) {
        if (entry.name.empty() || entry.name.back() == '.') continue;
        LocalFileSystem::DeleteFile(folder + "/" + entry.name);
    }
}

}  // namespace Quor::Common
