#include "remote/MD5Helper.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/Log.h"
#include "common/RegularFile.h"
#include "foundation/CStd/CStd.h"

namespace Quor::Common {

namespace {

// Large enough that one read serves a typical file and a big one costs few system calls, small
// enough to stay in the core's cache while it is hashed.
constexpr size_t kReadBlock = 256 * 1024;

// The tag of whole-file hashing, as its log lines have always shown it.
constexpr const char* kWholeFileTag =
    "static HRESULT Quor::Common::MD5Helper::ComputeMD5(const std::string&, unsigned char (&)[16])";

// One read buffer per thread, made on first use (hashing many small files allocates nothing).
unsigned char* ReadBuffer() {
    thread_local std::unique_ptr<unsigned char[]> buffer(new unsigned char[kReadBlock]);
    return buffer.get();
}

// Opens a regular file for reading; a FIFO or a device never blocks the hashing. Null tag: quiet.
Vorn::UniqueFd OpenForReading(const std::string& path, const char* tag) {
    Vorn::UniqueFd fd = OpenRegularFile(path);
    if (!fd.IsValid() && tag) {
        const int error = errno;
        QUOR_LOG_TAG(Log::ERROR, tag, "Failed opening %s (%s)", path.c_str(), RegularFileErrorText(error).c_str());
    }
    return fd;
}

// Reads up to size bytes at offset (or at the current position when offset is negative), retrying
// interrupted and short reads; the count read (less only at the end of the file) or -1 with errno.
ssize_t ReadFully(int fd, unsigned char* buffer, size_t size, off_t offset) {
    size_t done = 0;
    while (done < size) {
        const ssize_t got = offset < 0 ? ::read(fd, buffer + done, size - done)
                                       : ::pread(fd, buffer + done, size - done, offset + static_cast<off_t>(done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return -1;
        if (got == 0) break;
        done += static_cast<size_t>(got);
    }
    return static_cast<ssize_t>(done);
}

void LogReadError(const char* tag, const std::string& path, int error) {
    if (!tag) return;
    QUOR_LOG_TAG(Log::ERROR, tag, "Failed reading %s (%s)", path.c_str(), std::strerror(error));
}

// The whole-file digest; failures are logged under tag unless it is null.
HRESULT HashWholeFile(const std::string& path, MD5::DIGEST& digest, const char* tag) {
    const Vorn::UniqueFd fd = OpenForReading(path, tag);
    if (!fd.IsValid()) return E_FAIL;
    unsigned char* buffer = ReadBuffer();
    MD5 md5;
    for (bool first = true;; first = false) {
        const ssize_t got = ReadFully(fd.Get(), buffer, kReadBlock, -1);
        if (got < 0) {
            // A read error is not the end of the file: the digest of what was read is no answer.
            LogReadError(tag, path, errno);
            return E_FAIL;
        }
        md5.Update(buffer, static_cast<UINT>(got));
        if (static_cast<size_t>(got) < kReadBlock) break;
        // Only a file that outgrows one read gains from a wider read-ahead.
        if (first) ::posix_fadvise(fd.Get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    }
    md5.Final();
    Vorn::std_memcpy(digest, sizeof(MD5::DIGEST), md5.GetDigest(), sizeof(MD5::DIGEST));
    return S_OK;
}

void Digest(const void* data, UINT size, MD5::DIGEST& digest) {
    MD5 md5;
    md5.Update(data, size);
    md5.Final();
    Vorn::std_memcpy(digest, sizeof(MD5::DIGEST), md5.GetDigest(), sizeof(MD5::DIGEST));
}

}  // namespace

HRESULT MD5Helper::ComputeMD5(const std::string& path, MD5::DIGEST& digest) {
    LogComputeMD5(path);
    return HashWholeFile(path, digest, kWholeFileTag);
}

HRESULT MD5Helper::ComputeMD5Quietly(const std::string& path, MD5::DIGEST& digest) {
    return HashWholeFile(path, digest, nullptr);
}

void MD5Helper::LogComputeMD5(const std::string& path) {
    QUOR_LOG_TAG(Log::VERBOSE, kWholeFileTag, "(\"%s\")", path.c_str());
}

HRESULT MD5Helper::ComputeMD5(const std::string& path, const UINT offset, const UINT length, MD5::DIGEST& digest) {
    QUOR_LOG(Log::VERBOSE, "(\"%s\", %u, %u)", path.c_str(), offset, length);
    const Vorn::UniqueFd fd = OpenForReading(path, __PRETTY_FUNCTION__);
    if (!fd.IsValid()) return E_FAIL;
    unsigned char* buffer = ReadBuffer();
    MD5 md5;
    off_t at = offset;
    for (UINT remaining = length; remaining;) {
        const size_t want = remaining < kReadBlock ? remaining : kReadBlock;
        const ssize_t got = ReadFully(fd.Get(), buffer, want, at);
        if (got < 0) {
            LogReadError(__PRETTY_FUNCTION__, path, errno);
            return E_FAIL;
        }
        if (static_cast<size_t>(got) != want) {
            QUOR_LOG(Log::ERROR, "The range %u+%u is past the end of %s", offset, length, path.c_str());
            return E_FAIL;
        }
        md5.Update(buffer, static_cast<UINT>(want));
        remaining -= static_cast<UINT>(want);
        at += static_cast<off_t>(want);
    }
    md5.Final();
    Vorn::std_memcpy(digest, sizeof(MD5::DIGEST), md5.GetDigest(), sizeof(MD5::DIGEST));
    return S_OK;
}

void MD5Helper::ComputeBufferMD5(const std::shared_ptr<API::IBuffer>& buffer, MD5::DIGEST& digest) {
    Digest(buffer->GetBufferPointer(), buffer->GetBufferSize(), digest);
}

void MD5Helper::VerifyBufferMD5(const std::shared_ptr<API::IBuffer>& buffer, const MD5::DIGEST& expected,
                                bool& matches) {
    matches = false;
    MD5::DIGEST digest;
    ComputeBufferMD5(buffer, digest);
    matches = Vorn::std_memcmp(digest, expected, sizeof digest) == 0;
}

HRESULT MD5Helper::VerifyFileMD5(const std::string& path, const MD5::DIGEST& expected, bool& matches) {
    matches = false;
    MD5::DIGEST digest;
    const HRESULT hr = ComputeMD5(path, digest);
    if (SUCCEEDED(hr)) matches = Vorn::std_memcmp(digest, expected, sizeof digest) == 0;
    return hr;
}

}  // namespace Quor::Common
