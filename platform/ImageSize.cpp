#include "platform/ImageSize.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace Quor::Platform {

namespace {

uint32_t BigEndian32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
           static_cast<uint32_t>(p[3]);
}

}  // namespace

bool PngImageSize(const char* path, uint32_t& width, uint32_t& height) {
    // Signature, then the first chunk, which must be IHDR: length 13, type, width, height.
    static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return false;
    unsigned char header[24];
    size_t got = 0;
    struct stat info;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        while (got < sizeof header) {
            const ssize_t n = read(fd, header + got, sizeof header - got);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += static_cast<size_t>(n);
        }
    }
    close(fd);
    if (got != sizeof header || memcmp(header, kSignature, sizeof kSignature) != 0 ||
        BigEndian32(header + 8) != 13 || memcmp(header + 12, "IHDR", 4) != 0)
        return false;
    width = BigEndian32(header + 16);
    height = BigEndian32(header + 20);
    return true;
}

}  // namespace Quor::Platform
