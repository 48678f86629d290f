#include "tools/jojodiff/ReplacementFile.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "tools/jojodiff/FaultGuard.h"
#include "tools/jojodiff/Populate.h"

namespace JojoDiff {

namespace {
#ifdef MADV_POPULATE_WRITE
constexpr int kPopulateWrite = MADV_POPULATE_WRITE;
#else
constexpr int kPopulateWrite = 23;  // Linux 5.14's value; older systems refuse it with EINVAL
#endif

constexpr size_t kHugePage = size_t{2} << 20;

// Whether madvise(MADV_HUGEPAGE) gives anonymous memory huge pages here: transparent huge pages
// set to "always" or "madvise".
bool HugePagesUsable() {
    const int fd = open("/sys/kernel/mm/transparent_hugepage/enabled", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char text[128];
    const ssize_t n = read(fd, text, sizeof text - 1);
    close(fd);
    if (n <= 0) return false;
    text[n] = '\0';
    return std::strstr(text, "[always]") || std::strstr(text, "[madvise]");
}

mode_t NewFileMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}
}  // namespace

ReplacementFile::~ReplacementFile() { Discard(); }

bool ReplacementFile::Create(const std::string& destination) {
    Discard();
    struct stat st;
    if (destination.empty() || (stat(destination.c_str(), &st) == 0 && S_ISDIR(st.st_mode))) {
        errno = destination.empty() ? ENOENT : EISDIR;
        return false;
    }
    std::vector<char> name(destination.begin(), destination.end());
    for (char c : std::string(".XXXXXX")) name.push_back(c);
    name.push_back('\0');
    FaultGuard::SignalBlock block;
    const int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return false;
    m_fd = fd;
    m_destination = destination;
    m_tempPath = name.data();
    FaultGuard::SetCleanupPath(m_tempPath.c_str());
    return true;
}

bool ReplacementFile::Write(const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const ssize_t n = write(m_fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) errno = ENOSPC;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool ReplacementFile::MapForWriting(uint64_t size, uint8_t*& mapping) {
    mapping = nullptr;
    if (m_fd < 0 || m_mapping || size > static_cast<uint64_t>(INT64_MAX) || size > SIZE_MAX) {
        errno = EFBIG;
        return false;
    }
    if (size == 0) return true;
    struct statvfs fsStat;
    if (fstatvfs(m_fd, &fsStat) != 0) return false;
    if (fsStat.f_frsize != 0 && size / fsStat.f_frsize >= fsStat.f_bavail) {
        errno = ENOSPC;
        return false;
    }
    // Reserving the blocks first means a full disk shows here and never as SIGBUS on a store.
    const int reserved = posix_fallocate(m_fd, 0, static_cast<off_t>(size));
    if (reserved != 0) {
        errno = reserved;
        return false;
    }
    m_mappedSize = static_cast<size_t>(size);
    if (size <= kPopulateAtMost && HugePagesUsable()) {
        // Aligned to a huge page, so that every whole one of them can be one.
        m_regionSize = (m_mappedSize + kHugePage - 1) / kHugePage * kHugePage + kHugePage;
        void* p = mmap(nullptr, m_regionSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) {
            m_regionSize = m_mappedSize = 0;
            return false;
        }
        m_region = p;
        const uintptr_t at = (reinterpret_cast<uintptr_t>(p) + kHugePage - 1) / kHugePage * kHugePage;
        m_mapping = reinterpret_cast<uint8_t*>(at);
        madvise(m_mapping, m_regionSize - kHugePage, MADV_HUGEPAGE);
        m_buffered = true;
    } else {
        void* p = mmap(nullptr, m_mappedSize, PROT_READ | PROT_WRITE, MAP_SHARED, m_fd, 0);
        if (p == MAP_FAILED) {
            m_mappedSize = 0;
            return false;
        }
        // Every page made writable in one call (see Populate.h); a system without the call faults
        // them in as they are written.
        if (size <= kPopulateAtMost) madvise(p, m_mappedSize, kPopulateWrite);
        m_region = p;
        m_regionSize = m_mappedSize;
        m_mapping = static_cast<uint8_t*>(p);
    }
    mapping = m_mapping;
    return true;
}

void ReplacementFile::Unmap() {
    if (m_region) munmap(m_region, m_regionSize);
    m_region = nullptr;
    m_regionSize = 0;
    m_mapping = nullptr;
    m_mappedSize = 0;
    m_buffered = false;
}

bool ReplacementFile::WriteOutBuffer() {
    size_t done = 0;
    while (done < m_mappedSize) {
        const ssize_t n = pwrite(m_fd, m_mapping + done, m_mappedSize - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) errno = ENOSPC;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool ReplacementFile::Commit(const bool flushToDisk) {
    if (m_fd < 0) return false;
    // A shared mapping's pages are the file's pages, which fdatasync writes out; a buffer is
    // written to them first.
    bool ok = !m_buffered || WriteOutBuffer();
    Unmap();
    ok = ok && (!flushToDisk || fdatasync(m_fd) == 0) && fchmod(m_fd, NewFileMode()) == 0;
    ok = close(m_fd) == 0 && ok;
    m_fd = -1;
    FaultGuard::SignalBlock block;
    if (ok && rename(m_tempPath.c_str(), m_destination.c_str()) == 0) {
        FaultGuard::SetCleanupPath(nullptr);
        m_tempPath.clear();
        return true;
    }
    const int error = errno;
    Discard();
    errno = error;
    return false;
}

void ReplacementFile::Discard() {
    Unmap();
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
    if (!m_tempPath.empty()) {
        FaultGuard::SignalBlock block;
        unlink(m_tempPath.c_str());
        FaultGuard::SetCleanupPath(nullptr);
        m_tempPath.clear();
    }
}

}  // namespace JojoDiff
