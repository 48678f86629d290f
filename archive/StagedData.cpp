#include "archive/StagedData.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "archive/FileFormat.h"
#include "common/Log.h"
#include "common/SystemErrorText.h"
#include "foundation/OsContext.h"

namespace Quor::FileSystem::Impl {

namespace {

constexpr int kNameAttempts = 100;
constexpr mode_t kPairFileMode = 0644;

}  // namespace

std::unique_ptr<StagedData> StagedData::Create(const std::string& folder) {
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        std::string index = folder + "/TMPXXXXXX";
        Vorn::UniqueFd indexFd(::mkostemp(index.data(), O_CLOEXEC));
        if (!indexFd.IsValid()) {
            QUOR_LOG(Log::ERROR, "Failed to create a temporary file in \"%s\": %s", folder.c_str(),
                     Common::SystemErrorText(errno).c_str());
            return nullptr;
        }
        ::fchmod(indexFd.Get(), kPairFileMode);
        const std::string data = index + "." + FileFormat::skDataFileNameExtension;
        Vorn::UniqueFd dataFd(
            ::open(data.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kPairFileMode));
        if (!dataFd.IsValid()) {
            const int error = errno;
            ::unlink(index.c_str());
            if (error == EEXIST) continue;  // something holds the data file's name: another name
            QUOR_LOG(Log::ERROR, "Failed to create \"%s\": %s", data.c_str(), Common::SystemErrorText(error).c_str());
            return nullptr;
        }
        return std::unique_ptr<StagedData>(new StagedData(std::move(index), std::move(dataFd)));
    }
    QUOR_LOG(Log::ERROR, "No free temporary name in \"%s\"", folder.c_str());
    return nullptr;
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
