#include "common/CompressionFiles.h"

#include "common/BufferMalloc.h"
#include "common/CRT.h"
#include "common/Log.h"

namespace Quor::Common::CompressionFiles {

namespace {

// Opens a file; the error number (never 0 without a stream).
errno_t Open(UniqueFile& file, const std::string& path, const char* mode) {
    FILE* stream = nullptr;
    const errno_t error = CRT::fopen_s(&stream, path.c_str(), mode);
    file.reset(stream);
    return error != 0 ? error : (stream ? 0 : -1);
}

}  // namespace

HRESULT OpenForCompression(const char* tag, const std::string& sourcePath, UniqueFile& source,
                           const std::string& destinationPath, bool append, UniqueFile& destination) {
    if (Open(source, sourcePath, "rb") != 0) {
        QUOR_LOG_TAG(Log::ERROR, tag, "Failed to open source file \"%s\" for reading.", sourcePath.c_str());
        return E_FAIL;
    }
    const char* mode = append ? "ab" : "wb";
    if (Open(destination, destinationPath, mode) != 0) {
        QUOR_LOG_TAG(Log::ERROR, tag, "Failed to open destination file \"%s\" with mode \"%s\".",
                     destinationPath.c_str(), mode);
        return E_FAIL;
    }
    return S_OK;
}

HRESULT OpenSource(const char* tag, const std::string& sourcePath, UniqueFile& source) {
    if (const errno_t error = Open(source, sourcePath, "rb")) {
        QUOR_LOG_TAG(Log::ERROR, tag, "Failed to open source file \"%s\" for reading with return value %d.",
                     sourcePath.c_str(), error);
        return E_FAIL;
    }
    return S_OK;
}

HRESULT OpenDestination(const char* tag, const std::string& destinationPath, UniqueFile& destination) {
    if (const errno_t error = Open(destination, destinationPath, "wb")) {
        QUOR_LOG_TAG(Log::ERROR, tag,
                     "Failed to open destination file \"%s\" for writing with return value %d.",
                     destinationPath.c_str(), error);
        return E_FAIL;
    }
    return S_OK;
}

HRESULT CloseInto(UniqueFile& file, HRESULT result) {
    if (!file) return result;
    const bool closed = file.Close();
    return closed || FAILED(result) ? result : E_FAIL;
}

HRESULT DecodeIntoNewBlock(DecodeInto decode, const std::shared_ptr<Quor::API::IBuffer>& input,
                           std::shared_ptr<Quor::API::IBuffer>& out, DWORD size) {
    auto block = std::make_shared<BufferMalloc>(size, nullptr);
    if (size != 0 && !block->GetBufferPointer()) {
        QUOR_LOG(Log::ERROR, "Failed to allocate %u bytes", static_cast<unsigned>(size));
        return E_OUTOFMEMORY;
    }
    const HRESULT hr =
        decode(input ? input->GetBufferPointer() : nullptr, input ? input->GetBufferSize() : 0, block->GetBufferPointer(), size);
    if (SUCCEEDED(hr)) out = std::move(block);
    return hr;
}

}  // namespace Quor::Common::CompressionFiles
