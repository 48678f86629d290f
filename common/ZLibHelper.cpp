#include "common/ZLibHelper.h"

#include <cstdlib>

#include "common/BufferMalloc.h"
#include "common/CompressionFiles.h"
#include "common/Log.h"
#include "common/UniqueFile.h"
#include "foundation/ZStream.h"

namespace Quor::Common::ZLibHelper {

namespace {

constexpr int kDefaultLevel = -1;

// Hands a decoded block to a BufferMalloc of its exact size.
std::shared_ptr<Quor::API::IBuffer> TakeBlock(unsigned char* data, size_t size) {
    return std::make_shared<BufferMalloc>(static_cast<uint32_t>(size), data);
}

}  // namespace

HRESULT CompressFile(const std::string& sourcePath, const std::string& destinationPath, DWORD flags) {
    QUOR_LOG(Log::VERBOSE, "%s, %s, %d", sourcePath.c_str(), destinationPath.c_str(), static_cast<int>(flags));
    UniqueFile source, destination;
    if (FAILED(CompressionFiles::OpenForCompression(__PRETTY_FUNCTION__, sourcePath, source, destinationPath,
                                                    (flags & kAppend) != 0, destination)))
        return E_FAIL;
    HRESULT result = S_OK;
    const int ret = zpipe_def(source.get(), destination.get(), kDefaultLevel);
    if (ret != 0) {
        result = E_FAIL;
        QUOR_LOG(Log::ERROR, "Failed to do deflate operation (%d)", ret);
    }
    result = CompressionFiles::CloseInto(destination, result);
    return CompressionFiles::CloseInto(source, result);
}

HRESULT DecompressFile(const std::string& sourcePath, const std::string& destinationPath, uint64_t maxBytes) {
    QUOR_LOG(Log::VERBOSE, "%s, %s, %llu", sourcePath.c_str(), destinationPath.c_str(),
             static_cast<unsigned long long>(maxBytes));
    UniqueFile source;
    if (FAILED(CompressionFiles::OpenSource(__PRETTY_FUNCTION__, sourcePath, source))) return E_FAIL;
    UniqueFile destination;
    if (FAILED(CompressionFiles::OpenDestination(__PRETTY_FUNCTION__, destinationPath, destination)))
        return E_FAIL;
    HRESULT result = S_OK;
    const int ret = zpipe_inf(source.get(), destination.get(), maxBytes);
    if (ret != 0) {
        result = E_FAIL;
        QUOR_LOG(Log::ERROR, "Failed to do inflate operation (%d) with return value %d", ret, ret);
    }
    result = CompressionFiles::CloseInto(destination, result);
    return CompressionFiles::CloseInto(source, result);
}

HRESULT DecompressFile(const std::string& sourcePath, std::shared_ptr<Quor::API::IBuffer>& out) {
    QUOR_LOG(Log::VERBOSE, "%s", sourcePath.c_str());
    UniqueFile source;
    if (FAILED(CompressionFiles::OpenSource(__PRETTY_FUNCTION__, sourcePath, source))) return E_FAIL;
    unsigned char* data = nullptr;
    size_t size = 0, capacity = 0;
    HRESULT result = S_OK;
    const int ret = zpipe_inf_to_malloc(source.get(), data, size, capacity);
    if (ret != 0) {
        result = E_FAIL;
        QUOR_LOG(Log::ERROR, "Failed to do inflate operation (%d) with return value %d", ret, ret);
    }
    result = CompressionFiles::CloseInto(source, result);
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

HRESULT DecompressToSize(const std::shared_ptr<Quor::API::IBuffer>& input, std::shared_ptr<Quor::API::IBuffer>& out,
                         DWORD size) {
    return CompressionFiles::DecodeIntoNewBlock(&DecompressInto, input, out, size);
}

HRESULT DecompressInto(const void* input, uint32_t length, void* out, DWORD size) {
    Vorn::ZStream stream;
    int ret = stream.InitInflate(Vorn::ZStream::kZlibFormat);
    if (ret == Vorn::ZStream::kOk) {
        unsigned char none = 0;  // zlib wants an output pointer even for no room
        stream.SetInput(input, input ? length : 0);
        stream.SetOutput(size != 0 ? out : &none, size);
        // Room for exactly `size` bytes: a longer stream stops with output left and fails.
        ret = stream.Inflate(Vorn::ZStream::kFinish);
    }
    if (ret != Vorn::ZStream::kStreamEnd) {
        // -5 (no progress) also when the stream holds more than `size` bytes or its input is cut.
        QUOR_LOG(Log::ERROR, "Failed to do inflate operation with return value %d (expected %u bytes)", ret,
                 static_cast<unsigned>(size));
        return E_FAIL;
    }
    if (stream.TotalOut() != size) {
        QUOR_LOG(Log::ERROR, "The stream inflates to %llu bytes instead of the expected %u",
                 static_cast<unsigned long long>(stream.TotalOut()), static_cast<unsigned>(size));
        return E_FAIL;
    }
    return S_OK;
}

DecompressCooperativeTask::DecompressCooperativeTask(std::shared_ptr<Quor::API::IBuffer> input)
    : m_Input(std::move(input)) {}

DecompressCooperativeTask::DecompressCooperativeTask(std::shared_ptr<Quor::API::IBuffer> input, DWORD size)
    : m_Input(std::move(input)), m_SizeKnown(true), m_Size(size) {}

DWORD DecompressCooperativeTask::DoWork(DWORD /*budget*/) {
    const HRESULT hr = m_SizeKnown ? DecompressToSize(m_Input, m_Output, m_Size) : Decompress(m_Input, m_Output, 0);
    return SUCCEEDED(hr) ? kDone : kFailed;
}

}  // namespace Quor::Common::ZLibHelper
