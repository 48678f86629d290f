#include "common/ZLibHelper.h"

#include <cstdlib>

#include "common/BufferMalloc.h"
#include "common/CRT.h"
#include "common/Log.h"
#include "common/UniqueFile.h"

namespace Quor::Common::ZLibHelper {

namespace {

constexpr int kDefaultLevel = -1;

// Opens a file; the error number (never 0 without a stream). The helpers report it as E_FAIL: the
// positive error number would read as success.
errno_t Open(UniqueFile& file, const std::string& path, const char* mode) {
    FILE* stream = nullptr;
    const errno_t error = CRT::fopen_s(&stream, path.c_str(), mode);
    file.reset(stream);
    return error != 0 ? error : (stream ? 0 : -1);
}

// Closes a file and reports a failed close (lost data of a writer) as E_FAIL.
HRESULT CloseInto(UniqueFile& file, HRESULT result) {
    if (!file) return result;
    const bool closed = file.Close();
    return closed || FAILED(result) ? result : E_FAIL;
}

// Hands a decoded block to a BufferMalloc of its exact size.
std::shared_ptr<Quor::API::IBuffer> TakeBlock(unsigned char* data, size_t size) {
    return std::make_shared<BufferMalloc>(static_cast<uint32_t>(size), data);
}

}  // namespace

HRESULT CompressFile(const std::string& sourcePath, const std::string& destinationPath, DWORD flags) {
    QUOR_LOG(Log::VERBOSE, "%s, %s, %d", sourcePath.c_str(), destinationPath.c_str(), static_cast<int>(flags));
    UniqueFile source;
    if (Open(source, sourcePath, "rb") != 0) {
        QUOR_LOG(Log::ERROR, "Failed to open source file \"%s\" for reading.", sourcePath.c_str());
        return E_FAIL;
    }
    const char* mode = (flags & kAppend) ? "ab" : "wb";
    UniqueFile destination;
    if (Open(destination, destinationPath, mode) != 0) {
        QUOR_LOG(Log::ERROR, "Failed to open destination file \"%s\" with mode \"%s\".", destinationPath.c_str(), mode);
        return E_FAIL;
    }
    HRESULT result = S_OK;
    const int ret = zpipe_def(source.get(), destination.get(), kDefaultLevel);
    if (ret != 0) {
        result = E_FAIL;
        QUOR_LOG(Log::ERROR, "Failed to do deflate operation (%d)", ret);
    }
    result = CloseInto(destination, result);
    return CloseInto(source, result);
}

HRESULT DecompressFile(const std::string& sourcePath, const std::string& destinationPath) {
    QUOR_LOG(Log::VERBOSE, "%s, %s", sourcePath.c_str(), destinationPath.c_str());
    UniqueFile source;
    if (const errno_t error = Open(source, sourcePath, "rb")) {
        QUOR_LOG(Log::ERROR, "Failed to open source file \"%s\" for reading with return value %d.", sourcePath.c_str(),
                 error);
        return E_FAIL;
    }
    UniqueFile destination;
    if (const errno_t error = Open(destination, destinationPath, "wb")) {
        QUOR_LOG(Log::ERROR, "Failed to open destination file \"%s\" for writing with return value %d.",
                 destinationPath.c_str(), error);
        return E_FAIL;
    }
    HRESULT result = S_OK;
    const int ret = zpipe_inf(source.get(), destination.get());
    if (ret != 0) {
        result = E_FAIL;
        QUOR_LOG(Log::ERROR, "Failed to do inflate operation (%d) with return value %d", ret, ret);
    }
    result = CloseInto(destination, result);
    return CloseInto(source, result);
}

HRESULT DecompressFile(const std::string& sourcePath, std::shared_ptr<Quor::API::IBuffer>& out) {
    QUOR_LOG(Log::VERBOSE, "%s", sourcePath.c_str());
    UniqueFile source;
    if (const errno_t error = Open(source, sourcePath, "rb")) {
        QUOR_LOG(Log::ERROR, "Failed to open source file \"%s\" for reading with return value %d.", sourcePath.c_str(),
                 error);
        return E_FAIL;
    }
    unsigned char* data = nullptr;
    size_t size = 0, capacity = 0;
    HRESULT result = S_OK;
    const int ret = zpipe_inf_to_malloc(source.get(), data, size, capacity);
    if (ret != 0) {
        result = E_FAIL;
        QUOR_LOG(Log::ERROR, "Failed to do inflate operation (%d) with return value %d", ret, ret);
    }
    result = CloseInto(source, result);
    if (FAILED(result)) {
        std::free(data);
        return result;
    }
    out = TakeBlock(data, size);
    return S_OK;
}

HRESULT Decompress(const std::shared_ptr<Quor::API::IBuffer>& input, std::shared_ptr<Quor::API::IBuffer>& out,
                   DWORD sizeHint) {
    const auto* bytes = static_cast<const unsigned char*>(input ? input->GetBufferPointer() : nullptr);
    const size_t length = bytes ? input->GetBufferSize() : 0;
    unsigned char* data = nullptr;
    size_t size = 0, capacity = sizeHint;
    const int ret = zpipe_inf_from_mem_to_malloc(bytes, length, data, size, capacity);
    if (ret != 0) {
        std::free(data);
        QUOR_LOG(Log::ERROR, "Failed to do inflate operation with return value %d", ret);
        return E_FAIL;
    }
    out = TakeBlock(data, size);
    return S_OK;
}

DecompressCooperativeTask::DecompressCooperativeTask(std::shared_ptr<Quor::API::IBuffer> input)
    : m_Input(std::move(input)) {}

DWORD DecompressCooperativeTask::DoWork(DWORD /*budget*/) {
    return SUCCEEDED(Decompress(m_Input, m_Output, 0)) ? kDone : kFailed;
}

}  // namespace Quor::Common::ZLibHelper
