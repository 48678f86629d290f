#include "common/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "common/TreePath.h"

namespace Quor::Common {

Vorn::UniqueFd OpenRegularFile(const std::string& path, uint64_t maxSize) {
    std::string native = path;
    std::replace(native.begin(), native.end(), '\\', '/');
    // A file of the install tree is never read through a link (TreePath.h).
    Vorn::UniqueFd fd(TreePath::Contains(native)
                          ? TreePath::OpenFile(native, O_RDONLY).Release()
                          : ::open(native.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd.IsValid()) return fd;
    struct stat st;
    if (::fstat(fd.Get(), &st) != 0) return Vorn::UniqueFd();
    if (!S_ISREG(st.st_mode)) {
        errno = EINVAL;
        return Vorn::UniqueFd();
    }
    if (static_cast<uint64_t>(st.st_size) > maxSize) {
        errno = EFBIG;
        return Vorn::UniqueFd();
    }
    // Reads of a regular file never block; clear the flag all the same for later users of the
    // descriptor.
    const int flags = ::fcntl(fd.Get(), F_GETFL);
    if (flags >= 0) ::fcntl(fd.Get(), F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

FILE* OpenRegularFileStream(const std::string& path, uint64_t maxSize) {
    Vorn::UniqueFd fd = OpenRegularFile(path, maxSize);
    if (!fd.IsValid()) return nullptr;
    FILE* stream = ::fdopen(fd.Get(), "rb");
    if (stream) fd.Release();
    return stream;
}

std::string RegularFileErrorText(int error) {
    if (error == EINVAL) return "not a regular file";
    if (error == EFBIG) return "larger than its format allows";
    return std::strerror(error);
}

}  // namespace Quor::Common
