#include "archive/FolderLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "archive/FileFormat.h"
#include "archive/FolderEntries.h"
#include "common/Log.h"
#include "common/RegularFile.h"
#include "common/SystemErrorText.h"
#include "foundation/ByteOrder.h"
#include "platform/Clock.h"

namespace Quor::FileSystem::Impl {

namespace {

constexpr uint64_t kPollIntervalNs = 20 * 1000000ull;
constexpr int kOpenFlags = O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;

}  // namespace

FolderLock::Result FolderLock::Acquire(const std::string& folder, std::chrono::milliseconds wait) {
    return Take(folder, wait, true);
}

FolderLock::Result FolderLock::TryAcquire(const std::string& folder) {
    return Take(folder, std::chrono::milliseconds(0), false);
}

FolderLock::Result FolderLock::Take(const std::string& folder, std::chrono::milliseconds wait, bool logBusy) {
    Release();
    const std::string path = folder + "/" + kFileName;
    m_FileExisted = false;
    Vorn::UniqueFd fd(::open(path.c_str(), kOpenFlags | O_CREAT | O_EXCL, 0644));
    if (!fd.IsValid() && errno == EEXIST) {
        m_FileExisted = true;
        fd = Vorn::UniqueFd(::open(path.c_str(), kOpenFlags));
    }
    struct stat st;
    if (!fd.IsValid() || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        QUOR_LOG(Log::ERROR, "Cannot open the lock file \"%s\": %s", path.c_str(),
                 fd.IsValid() ? "not a regular file" : Common::SystemErrorText(errno).c_str());
        return Result::kFailed;
    }
    // The wait reads the process clock, so that a test's manual clock can carry it to its end.
    Platform::IClock& clock = Platform::Clock();
    const uint64_t deadline =
        clock.NowNanoseconds() + static_cast<uint64_t>(std::max<std::chrono::milliseconds::rep>(0, wait.count())) * 1000000ull;
    while (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK) {
            QUOR_LOG(Log::ERROR, "Cannot lock \"%s\": %s", path.c_str(), Common::SystemErrorText(errno).c_str());
            return Result::kFailed;
        }
        if (clock.NowNanoseconds() >= deadline) {
            if (logBusy)
                QUOR_LOG(Log::ERROR, "The archive folder \"%s\" is in use by another writer",
                         folder.c_str());
            return Result::kBusy;
        }
        clock.Sleep(kPollIntervalNs);
    }
    m_Fd = std::move(fd);
    return Result::kLocked;
}

bool IsArchiveFolder(const std::string& folder) {
    const std::string index = "." + FileFormat::skDirectoryFileNameExtension;
    for (const std::string& name : FolderEntries(folder)) {
        if (name == FolderLock::kFileName || name.find(index + ".damaged") != std::string::npos) return true;
        if (name.size() <= index.size() || name.compare(name.size() - index.size(), index.size(), index) != 0) continue;
        Vorn::UniqueFd fd = Common::OpenRegularFile(folder + "/" + name);
        uint8_t header[8];
        if (fd.IsValid() && ::pread(fd.Get(), header, sizeof header, 0) == static_cast<ssize_t>(sizeof header) &&
            Vorn::Bytes::LoadLE32(header) == FileFormat::Header_t::skMagic &&
            Vorn::Bytes::LoadLE32(header + 4) == FileFormat::Header_t::skVersion)
            return true;
    }
    return false;
}

}  // namespace Quor::FileSystem::Impl
