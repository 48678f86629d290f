#include "remote/MD5Helper.h"

#include <fcntl.h>

#include <cstdio>

#include "common/CRT.h"
#include "common/Log.h"
#include "common/UniqueFile.h"
#include "foundation/CStd/CStd.h"

namespace Quor::Common {

namespace {

constexpr size_t kReadBlock = 256 * 1024;

// One read buffer per thread, made on first use (hashing many small files allocates nothing).
unsigned char* ReadBuffer() {
    thread_local std::unique_ptr<unsigned char[]> buffer(new unsigned char[kReadBlock]);
    return buffer.get();
}

FILE* OpenForReading(const std::string& path, const char* tag) {
    FILE* stream = nullptr;
    CRT::fopen_s(&stream, path.c_str(), "rb");
    if (!stream) {
        Log::Internal::LogGetLastError(tag);
        QUOR_LOG_TAG(Log::ERROR, tag, "Failed opening %s", path.c_str());
    }
    return stream;
}

void Digest(const void* data, UINT size, MD5::DIGEST& digest) {
    MD5 md5;
    md5.Update(data, size);
    md5.Final();
    Vorn::std_memcpy(digest, sizeof(MD5::DIGEST), md5.GetDigest(), sizeof(MD5::DIGEST));
}

}  // namespace

HRESULT MD5Helper::ComputeMD5(const std::string& path, MD5::DIGEST& digest) {
    QUOR_LOG(Log::VERBOSE, "(\"%s\")", path.c_str());
    UniqueFile file(OpenForReading(path, __PRETTY_FUNCTION__));
    if (!file) return E_FAIL;
    posix_fadvise(fileno(file.get()), 0, 0, POSIX_FADV_SEQUENTIAL);
    unsigned char* buffer = ReadBuffer();
    MD5 md5;
    for (;;) {
        const size_t got = Vorn::std_fread(buffer, 1, kReadBlock, file.get());
        if (got) md5.Update(buffer, static_cast<UINT>(got));
        if (got == kReadBlock) continue;
        if (Vorn::std_ferror(file.get())) {
            // A read error is not the end of the file: the digest of what was read is no answer.
            Log::Internal::LogFError(__PRETTY_FUNCTION__, file.get());
            QUOR_LOG(Log::ERROR, "Failed reading %s", path.c_str());
            return E_FAIL;
        }
        break;
    }
    md5.Final();
    Vorn::std_memcpy(digest, sizeof(MD5::DIGEST), md5.GetDigest(), sizeof(MD5::DIGEST));
    return S_OK;
}

HRESULT MD5Helper::ComputeMD5(const std::string& path, const UINT offset, const UINT length, MD5::DIGEST& digest) {
    QUOR_LOG(Log::VERBOSE, "(\"%s\", %d, %d)", path.c_str(), offset, length);
    UniqueFile file(OpenForReading(path, __PRETTY_FUNCTION__));
    if (!file) return E_FAIL;
    if (Vorn::std_fseek(file.get(), offset, SEEK_SET) != 0) {
        Log::Internal::LogFError(__PRETTY_FUNCTION__, file.get());
        return E_FAIL;
    }
    unsigned char* buffer = ReadBuffer();
    MD5 md5;
    for (UINT remaining = length; remaining;) {
        const size_t want = remaining < kReadBlock ? remaining : kReadBlock;
        if (Vorn::std_fread(buffer, 1, want, file.get()) != want) {
            Log::Internal::LogFError(__PRETTY_FUNCTION__, file.get());
            return E_FAIL;
        }
        md5.Update(buffer, static_cast<UINT>(want));
        remaining -= static_cast<UINT>(want);
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
