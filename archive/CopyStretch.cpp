#include "archive/CopyStretch.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "foundation/AnnotatedMutex.h"
#include "foundation/OsContext.h"

namespace Quor::FileSystem::Impl {

namespace {

struct CopyBuffer {
    Vorn::AnnotatedMutex mutex;
    std::vector<uint8_t> bytes GUARDED_BY(mutex);
};

CopyBuffer& GetCopyBuffer() {
    static CopyBuffer* buffer = new CopyBuffer;  // kept for the life of the process
    return *buffer;
}

bool Cancelled(const signed char* cancel) { return cancel && *cancel; }

bool WriteAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t n = Vorn::Os().files.Write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// One chunk through the shared buffer.
CopyResult CopyThroughBuffer(int source, uint64_t offset, size_t chunk, int destination, const signed char* cancel) {
    CopyBuffer& buffer = GetCopyBuffer();
    Vorn::AnnotatedLockGuard lock(buffer.mutex);
    if (buffer.bytes.empty()) buffer.bytes.assign(kCopyChunkSize, 0);
    size_t done = 0;
    while (done < chunk) {
        const ssize_t n = ::pread(source, buffer.bytes.data() + done, chunk - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return CopyResult::kReadError;
        if (n == 0) return CopyResult::kShortSource;
        done += static_cast<size_t>(n);
    }
    if (Cancelled(cancel)) return CopyResult::kCancelled;
    return WriteAll(destination, buffer.bytes.data(), chunk) ? CopyResult::kOk : CopyResult::kWriteError;
}

}  // namespace

CopyResult CopyStretch(int source, uint64_t offset, uint64_t length, int destination, const signed char* cancel,
                       bool startWriteback) {
    bool kernelCopy = true;
    off_t written = startWriteback ? ::lseek(destination, 0, SEEK_CUR) : 0;
    while (length > 0) {
        if (Cancelled(cancel)) return CopyResult::kCancelled;
        const size_t chunk = static_cast<size_t>(std::min(length, kCopyChunkSize));
        size_t done = 0;
        while (kernelCopy && done < chunk) {
            loff_t from = static_cast<loff_t>(offset + done);
            const ssize_t n = ::copy_file_range(source, &from, destination, nullptr, chunk - done, 0);
            if (n > 0) {
                done += static_cast<size_t>(n);
            } else if (n == 0) {
                return CopyResult::kShortSource;
            } else if (errno == EINTR) {
                continue;
            } else if (done == 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP ||
                                     errno == EPERM || errno == EBADF || errno == ETXTBSY)) {
                kernelCopy = false;  // this pair of files needs the buffer
            } else {
                return errno == ENOSPC || errno == EFBIG || errno == EDQUOT ? CopyResult::kWriteError
                                                                             : CopyResult::kReadError;
            }
        }
        if (!kernelCopy) {
            const CopyResult result = CopyThroughBuffer(source, offset, chunk, destination, cancel);
            if (result != CopyResult::kOk) return result;
        }
        if (startWriteback && written >= 0) {
            ::sync_file_range(destination, written, static_cast<off_t>(chunk), SYNC_FILE_RANGE_WRITE);
            written += static_cast<off_t>(chunk);
        }
        offset += chunk;
        length -= chunk;
    }
    return CopyResult::kOk;
}

const char* CopyResultText(CopyResult result) {
    switch (result) {
        case CopyResult::kOk: return "copied";
        case CopyResult::kShortSource: return "source file ended before the stretch to copy";
        case CopyResult::kReadError: return "failed to read the source file";
        case CopyResult::kWriteError: return "failed to write the destination file";
        case CopyResult::kCancelled: return "Cancelled.";
    }
    return "copy failed";
}

}  // namespace Quor::FileSystem::Impl
