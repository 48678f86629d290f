#include "archive/FolderLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <thread>

#include "common/Log.h"
#include "common/SystemErrorText.h"

namespace Quor::FileSystem::Impl {

namespace {

constexpr std::chrono::milliseconds kPollInterval{20};
constexpr int kOpenFlags = O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;

}  // namespace

FolderLock::Result FolderLock::Acquire(const std::string& folder, std::chrono::milliseconds wait) {
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
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK) {
            QUOR_LOG(Log::ERROR, "Cannot lock \"%s\": %s", path.c_str(), Common::SystemErrorText(errno).c_str());
            return Result::kFailed;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            QUOR_LOG(Log::ERROR, "The archive folder \"%s\" is in use by another writer", folder.c_str());
            return Result::kBusy;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
    m_Fd = std::move(fd);
    return Result::kLocked;
}

}  // namespace Quor::FileSystem::Impl
