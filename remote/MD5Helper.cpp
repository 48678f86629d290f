#include "remote/MD5Helper.h"

#include <fcntl.h>

#include <cstdio>
#include <cstring>
#include <memory>

namespace Quor::Common {

namespace {

// Files are read in large blocks; the digest does not depend on the block size.
constexpr size_t kReadBlock = 256 * 1024;

unsigned char* ReadBuffer() {
    thread_local std::unique_ptr<unsigned char[]> buffer(new unsigned char[kReadBlock]);
    return buffer.get();
}

// TODO(dep): replace with CRT::fopen_s and the log once they land.
FILE* OpenForReading(const std::string& path) { return fopen(path.c_str(), "rb"); }

}  // namespace

HRESULT MD5Helper::ComputeMD5(const std::string& path, MD5::DIGEST& digest) {
    FILE* file = OpenForReading(path);
    if (!file) return E_FAIL;
    posix_fadvise(fileno(file), 0, 0, POSIX_FADV_SEQUENTIAL);
    unsigned char* buffer = ReadBuffer();
    MD5 md5;
    HRESULT hr = S_OK;
    for (;;) {
        const size_t n = fread(buffer, 1, kReadBlock, file);
        if (n) md5.Update(buffer, static_cast<UINT>(n));
        if (n < kReadBlock) {
            if (ferror(file)) hr = E_FAIL;
            break;
        }
    }
    fclose(file);
    if (FAILED(hr)) return hr;
    md5.Final();
    std::memcpy(digest, md5.GetDigest(), sizeof(MD5::DIGEST));
    return S_OK;
}

HRESULT MD5Helper::ComputeMD5(const std::string& path, const UINT offset, const UINT length, MD5::DIGEST& digest) {
    FILE* file = OpenForReading(path);
    if (!file) return E_FAIL;
    if (fseeko(file, static_cast<off_t>(offset), SEEK_SET) != 0) {
        fclose(file);
        return E_FAIL;
    }
    unsigned char* buffer = ReadBuffer();
    MD5 md5;
    for (UINT remaining = length; remaining;) {
        const size_t want = remaining < kReadBlock ? remaining : kReadBlock;
        if (fread(buffer, 1, want, file) != want) {
            fclose(file);
            return E_FAIL;
        }
        md5.Update(buffer, static_cast<UINT>(want));
        remaining -= static_cast<UINT>(want);
    }
    fclose(file);
    md5.Final();
    std::memcpy(digest, md5.GetDigest(), sizeof(MD5::DIGEST));
    return S_OK;
}

HRESULT MD5Helper::VerifyFileMD5(const std::string& path, const MD5::DIGEST& expected, bool& matches) {
    matches = false;
    MD5::DIGEST digest;
    const HRESULT hr = ComputeMD5(path, digest);
    if (SUCCEEDED(hr)) matches = std::memcmp(digest, expected, sizeof digest) == 0;
    return hr;
}

}  // namespace Quor::Common
