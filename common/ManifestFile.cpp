#include "common/ManifestFile.h"

#include <cerrno>

#include "common/CRT.h"
#include "common/LastError.h"
#include "common/Log.h"
#include "common/RegularFile.h"

namespace Quor::Common {

HRESULT OpenManifestFile(const char* tag, const std::string& path, const char* mode, uint64_t maxSize,
                         UniqueFile& file, const char* failure) {
    FILE* opened = nullptr;
    if (mode[0] == 'r')
        opened = OpenRegularFileStream(path, maxSize);  // never a FIFO or a device
    else
        CRT::fopen_s(&opened, path.c_str(), mode);
    file.reset(opened);
    if (file) return S_OK;
    const HRESULT error = LastErrorFailure(tag);
    QUOR_LOG_TAG(Log::ERROR, tag, failure, path.c_str());
    return error;
}

HRESULT CloseManifestFile(const char* tag, UniqueFile& file, HRESULT hr) {
    errno = 0;
    if (!file.Close()) {
        const HRESULT error = LastErrorFailure(tag);
        if (SUCCEEDED(hr)) hr = error;
    }
    return hr;
}

}  // namespace Quor::Common
