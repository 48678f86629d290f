#include "common/LZMA.h"

#include "common/BufferMalloc.h"
#include "common/CompressionFiles.h"
#include "common/Log.h"
#include "common/LzmaAdapters.h"
#include "common/UniqueFile.h"
#include "foundation/CStd/CStdFiles.h"

namespace Quor::Common::LZMA {

namespace LC = LzmaContainer;

namespace {

// The 64-bit length of an open file; the position is left at the start.
bool MeasureLength(FILE* file, uint64_t& length) {
    if (Vorn::std_fseek(file, 0, SEEK_END) != 0) return false;
    const int64_t end = Vorn::std_ftell(file);
    if (end < 0 || Vorn::std_fseek(file, 0, SEEK_SET) != 0) return false;
    length = static_cast<uint64_t>(end);
    return true;
}

std::shared_ptr<Quor::API::IBuffer> TakeBuffer(LC::HeapWriter& writer) {
    const auto size = static_cast<uint32_t>(writer.Size());
    return std::make_shared<BufferMalloc>(size, writer.Release());
}

}  // namespace

HRESULT CompressFile(const std::string& sourcePath, const std::string& destinationPath, DWORD flags) {
    QUOR_LOG(Log::VERBOSE, "%s, %s, %d", sourcePath.c_str(), destinationPath.c_str(), static_cast<int>(flags));
    UniqueFile source, destination;
    if (FAILED(CompressionFiles::OpenForCompression(__PRETTY_FUNCTION__, sourcePath, source, destinationPath,
                                                    (flags & kAppend) != 0, destination)))
        return E_FAIL;
    HRESULT result = S_OK;
    uint64_t length = 0;
    if (!MeasureLength(source.get(), length)) {
        QUOR_LOG(Log::ERROR, "Failed to measure source file \"%s\".", sourcePath.c_str());
        result = E_FAIL;
    } else {
        LC::FileReader reader(source.get());
        LC::FileWriter writer(destination.get());
        const int coded = LC::Encode(reader, length, writer);
        if (coded != LC::kOk) {
            result = E_FAIL;
            QUOR_LOG(Log::ERROR, "Failed to do deflate operation (%d)", static_cast<int>(result));
        }
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
    LC::FileReader reader(source.get());
    LC::FileWriter writer(destination.get());
    HRESULT result = S_OK;
    if (LC::Decode(reader, &writer, nullptr, maxBytes) != LC::kOk) {
        result = E_FAIL;
        QUOR_LOG(Log::ERROR, "Failed to do inflate operation (%d) with return value %d", static_cast<int>(result),
                 static_cast<int>(result));
    }
    result = CompressionFiles::CloseInto(destination, result);
    return CompressionFiles::CloseInto(source, result);
}

HRESULT DecompressFile(const std::string& sourcePath, std::shared_ptr<Quor::API::IBuffer>& out) {
    QUOR_LOG(Log::VERBOSE, "%s", sourcePath.c_str());
    UniqueFile source;
    if (FAILED(CompressionFiles::OpenSource(__PRETTY_FUNCTION__, sourcePath, source))) return E_FAIL;
    LC::FileReader reader(source.get());
    LC::HeapWriter writer;
    HRESULT result = S_OK;
    if (LC::Decode(reader, &writer) != LC::kOk) {
        result = E_FAIL;
        QUOR_LOG(Log::ERROR, "Failed to do inflate operation (%d) with return value %d", static_cast<int>(result),
                 static_cast<int>(result));
    }
    result = CompressionFiles::CloseInto(source, result);
    if (SUCCEEDED(result)) out = TakeBuffer(writer);
    return result;
}

HRESULT Decompress(const std::shared_ptr<Quor::API::IBuffer>& input, std::shared_ptr<Quor::API::IBuffer>& out,
                   DWORD /*sizeHint*/) {
    const void* data = input ? input->GetBufferPointer() : nullptr;
    LC::MemoryReader reader(data, input ? input->GetBufferSize() : 0);
    LC::HeapWriter writer;
    if (LC::Decode(reader, &writer) != LC::kOk) {
        QUOR_LOG(Log::ERROR, "Failed to do inflate operation with return value %d", static_cast<int>(E_FAIL));
        return E_FAIL;
    }
    out = TakeBuffer(writer);
    return S_OK;
}

HRESULT DecompressToSize(const std::shared_ptr<Quor::API::IBuffer>& input, std::shared_ptr<Quor::API::IBuffer>& out,
                         DWORD size) {
    return CompressionFiles::DecodeIntoNewBlock(&DecompressInto, input, out, size);
}

HRESULT DecompressInto(const void* input, uint32_t length, void* out, DWORD size) {
    size_t decoded = 0;
    if (LC::DecodeInto(input, length, out, size, decoded) != LC::kOk) {
        QUOR_LOG(Log::ERROR, "Failed to do inflate operation with return value %d (expected %u bytes)",
                 static_cast<int>(E_FAIL), static_cast<unsigned>(size));
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

}  // namespace Quor::Common::LZMA
