#include "platform/FileCopy.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Quor::Platform {

namespace {

// Owns one file descriptor.
class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0) {
            int saved = errno;
            close(m_fd);
            errno = saved;
        }
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    // Closes now and reports the result (a delayed write error shows here).
    bool Close() {
        int fd = m_fd;
        m_fd = -1;
        return close(fd) == 0;
    }

private:
    int m_fd;
};

bool WriteAll(int fd, const char* p, size_t n) {
    while (n > 0) {
        ssize_t w = write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

bool CopyBytes(int in, int out, off_t size) {
    // The kernel copies in place where it can; otherwise fall back to reading and writing.
    off_t done = 0;
    while (done < size) {
        ssize_t n = copy_file_range(in, nullptr, out, nullptr, static_cast<size_t>(size - done), 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP ||
                errno == ETXTBSY)
                break;
            return false;
        }
        if (n == 0) break;  // the source shrank, or the range call has nothing more to give
        done += n;
    }
    char chunk[64 * 1024];
    for (;;) {
        ssize_t r = read(in, chunk, sizeof chunk);
        if (r < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (r == 0) return true;
        if (!WriteAll(out, chunk, static_cast<size_t>(r))) return false;
    }
}

}  // namespace

bool CopyOpenFileWithMetadata(int from, int to) {
    struct stat source {};
    if (fstat(from, &source) != 0) return false;
    if (!S_ISREG(source.st_mode)) {
        errno = S_ISDIR(source.st_mode) ? EISDIR : EINVAL;
        return false;
    }
    struct stat target {};
    if (fstat(to, &target) != 0) return false;
    if (!S_ISREG(target.st_mode) || (target.st_dev == source.st_dev && target.st_ino == source.st_ino)) {
        errno = EINVAL;
        return false;
    }
    if (ftruncate(to, 0) != 0 || !CopyBytes(from, to, source.st_size)) return false;
    // The owner first: changing it clears set-id bits, which the mode then restores.
    if (fchown(to, source.st_uid, source.st_gid) != 0) {
        // Only a privileged process may give a file away; the copy stays ours then.
    }
    const timespec times[2] = {source.st_atim, source.st_mtim};
    return fchmod(to, source.st_mode & 07777) == 0 && futimens(to, times) == 0;
}

bool CopyFileWithMetadata(const char* from, const char* to) {
    if (!from || !to) {
        errno = EINVAL;
        return false;
    }
    Fd in(open(from, O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) return false;
    struct stat source {};
    if (fstat(in.get(), &source) != 0) return false;
    if (!S_ISREG(source.st_mode)) {
        errno = S_ISDIR(source.st_mode) ? EISDIR : EINVAL;
        return false;
    }

    // Open without truncating first, so that a target which is the source itself stays intact.
    bool created = false;
    int fd = open(to, O_WRONLY | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
        fd = open(to, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        created = fd >= 0;
    }
    Fd out(fd);
    if (out.get() < 0) return false;
    bool ok = CopyOpenFileWithMetadata(in.get(), out.get());
    if (!out.Close()) ok = false;
    if (!ok) {
        int saved = errno;
        if (created) unlink(to);
        errno = saved;
    }
    return ok;
}

}  // namespace Quor::Platform
