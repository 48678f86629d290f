#include "common/StreamDecode.h"

#include <memory>

#include "common/CompressionFiles.h"
#include "common/Log.h"
#include "common/LzmaAdapters.h"
#include "common/UniqueFile.h"
#include "foundation/ZStream.h"

namespace Quor::Common::StreamDecode {

namespace {

using Vorn::ZStream;

// Large steps: few reads, writes and hashing calls per file.
constexpr size_t kStep = 256 * 1024;

struct Buffers {
    std::unique_ptr<unsigned char[]> in{new unsigned char[kStep]};
    std::unique_ptr<unsigned char[]> out{new unsigned char[kStep]};
};

Buffers& ThreadBuffers() {
    thread_local Buffers buffers;
    return buffers;
}

// The zlib stream of source into out; the text of the failure, or null.
const char* Inflate(FILE* source, uint64_t size, LzmaContainer::IByteWriter& out) {
    Buffers& buffers = ThreadBuffers();
    ZStream stream;
    if (stream.InitInflate(ZStream::kZlibFormat) != ZStream::kOk) return "the decoder could not start";
    uint64_t produced = 0;
    int ret = ZStream::kOk;
    while (ret != ZStream::kStreamEnd) {
        const size_t count = fread(buffers.in.get(), 1, kStep, source);
        if (ferror(source)) return "the source could not be read";
        if (count == 0) return "the stream is truncated";
        stream.SetInput(buffers.in.get(), static_cast<uint32_t>(count));
        do {
            stream.SetOutput(buffers.out.get(), static_cast<uint32_t>(kStep));
            ret = stream.Inflate(ZStream::kNoFlush);
            if (ret == ZStream::kNeedDict || ret == ZStream::kDataError || ret == ZStream::kMemError ||
                ret == ZStream::kStreamError)
                return "the stream is corrupt";
            const size_t have = kStep - stream.AvailOut();
            if (have > size - produced) return "the stream decodes to more bytes than expected";
            if (have && out.Write(buffers.out.get(), have) != have) return "the decoded bytes could not be written";
            produced += have;
        } while (stream.AvailOut() == 0 && ret != ZStream::kStreamEnd);
    }
    return produced == size ? nullptr : "the stream decodes to fewer bytes than expected";
}

// The LZMA2 container of source into out; the text of the failure, or null.
const char* Unpack(FILE* source, uint64_t size, LzmaContainer::IByteWriter& out) {
    LzmaContainer::FileReader reader(source);
    uint64_t produced = 0;
    const int coded = LzmaContainer::Decode(reader, &out, &produced, size);
    if (coded == LzmaContainer::kWriteError) return "the decoded bytes could not be written";
    if (coded != LzmaContainer::kOk) return "the container is corrupt, truncated or of another size";
    return produced == size ? nullptr : "the container decodes to fewer bytes than expected";
}

}  // namespace

HRESULT DecodeFile(const std::string& sourcePath, Codec codec, uint64_t size, LzmaContainer::IByteWriter& out) {
    QUOR_LOG(Log::VERBOSE, "%s, %s, %llu", sourcePath.c_str(), codec == Codec::kZlib ? "zlib" : "lzma2",
             static_cast<unsigned long long>(size));
    UniqueFile source;
    if (FAILED(CompressionFiles::OpenSource(__PRETTY_FUNCTION__, sourcePath, source))) return E_FAIL;
    const char* failure = codec == Codec::kZlib ? Inflate(source.get(), size, out) : Unpack(source.get(), size, out);
    if (failure) {
        QUOR_LOG(Log::ERROR, "Failed to decode \"%s\": %s (expected %llu bytes)", sourcePath.c_str(), failure,
                 static_cast<unsigned long long>(size));
        return E_FAIL;
    }
    return S_OK;
}

}  // namespace Quor::Common::StreamDecode
