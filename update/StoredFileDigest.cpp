#include "update/StoredFileDigest.h"

#include <memory>

#include "common/FileSysHelper.h"
#include "common/LZMA.h"
#include "common/Log.h"
#include "common/ReleaseManifest.h"
#include "common/ZLibHelper.h"
#include "remote/MD5Helper.h"

namespace Quor::User {

using Common::ReleaseManifest;

HRESULT ComputeStoredFileMD5(const char* tag, const std::string& path, DWORD offset, DWORD size, DWORD entryFlags,
                             DWORD plainSize, MD5::DIGEST& digest) {
    if (!(entryFlags & ReleaseManifest::FLAG_STORED_COMPRESSED)) return Common::MD5Helper::ComputeMD5(path, offset, size, digest);

    std::shared_ptr<API::IBuffer> packed;
    HRESULT hr = Common::FileSysHelper::ReadFileBlockIntoBuffer(path, offset, size, packed);
    if (FAILED(hr)) {
        QUOR_LOG_TAG(Log::ERROR, tag, "Failed to find extract archive file");
        return hr;
    }
    std::shared_ptr<API::IBuffer> plain;
    if (entryFlags & ReleaseManifest::FLAG_ZLIB) {
        hr = Common::ZLibHelper::DecompressToSize(packed, plain, plainSize);
    } else if (entryFlags & ReleaseManifest::FLAG_LZMA) {
        hr = Common::LZMA::DecompressToSize(packed, plain, plainSize);
    } else {
        QUOR_LOG_TAG(Log::ERROR, tag, "Compression format not specified");
        hr = E_FAIL;
    }
    if (FAILED(hr) || !plain) {
        QUOR_LOG_TAG(Log::ERROR, tag, "Failed to decompress");
        return FAILED(hr) ? hr : E_FAIL;
    }
    Common::MD5Helper::ComputeBufferMD5(plain, digest);
    return S_OK;
}

}  // namespace Quor::User
