#include "archive/StagedData.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "archive/ArchiveFileBuilder.h"
#include "archive/FileFormat.h"
#include "common/Log.h"
#include "common/SystemErrorText.h"
#include "foundation/OsContext.h"

namespace Quor::FileSystem::Impl {

std::unique_ptr<StagedData> StagedData::Create(const std::string& folder) {
    std::string index;
    Vorn::UniqueFd indexFd, dataFd;
    if (!CreateTemporaryPair(folder, index, indexFd, dataFd)) return nullptr;
    return std::unique_ptr<StagedData>(new StagedData(std::move(index), std::move(dataFd)));
}

StagedData::~StagedData() {
    if (!m_Owned) return;
    m_Data.Reset();
    Vorn::Os().files.Unlink(DataPath().c_str());
    Vorn::Os().files.Unlink(m_Index.c_str());
}

std::string StagedData::DataPath() const { return m_Index + "." + FileFormat::skDataFileNameExtension; }

int64_t StagedData::Pending() const {
    struct stat st;
    if (::fstat(m_Data.Get(), &st) != 0) return -1;
    return static_cast<int64_t>(st.st_size) - static_cast<int64_t>(m_Length);
}

bool StagedData::Rewind() {
    const off_t length = static_cast<off_t>(m_Length);
    if (::ftruncate(m_Data.Get(), length) != 0 || ::lseek(m_Data.Get(), length, SEEK_SET) != length) {
        QUOR_LOG(Log::ERROR, "Failed to cut \"%s\" back to %llu bytes: %s", DataPath().c_str(),
                 static_cast<unsigned long long>(m_Length), Common::SystemErrorText(errno).c_str());
        return false;
    }
    return true;
}

void StagedData::Extend(uint64_t size) {
    // Started now, so that the rewrite's flush to the disk finds little left to do.
    ::sync_file_range(m_Data.Get(), static_cast<off_t>(m_Length), static_cast<off_t>(size), SYNC_FILE_RANGE_WRITE);
    m_Length += size;
}

void StagedData::Release() { m_Owned = false; }

}  // namespace Quor::FileSystem::Impl
