#pragma once
// The bare decompression loops the benchmarks measure our helpers against: the whole input read
// into memory, then one raw LZMA2 decode (our LZMA2 container: property byte, 64-bit size, raw
// stream) or one inflate (zlib) into a preallocated block. Header-only; reentrant.
#include <sys/stat.h>

#include <cstdio>
#include <memory>
#include <string>

#include "common/LzmaStream.h"
#include "foundation/ByteOrder.h"
#include "foundation/ZStream.h"

namespace QuorBench {

inline std::string ReadAll(const std::string& path) {
    std::string bytes;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return bytes;
    struct stat info;
    if (fstat(fileno(f), &info) == 0) {
        bytes.resize(static_cast<size_t>(info.st_size));
        bytes.resize(fread(bytes.data(), 1, bytes.size(), f));
    }
    fclose(f);
    return bytes;
}

// The LZMA2 container at path decoded into out; false on any failure.
inline bool BareLzma(const std::string& path, std::unique_ptr<char[]>& out) {
    const std::string container = ReadAll(path);
    if (container.size() < 9) return false;
    Quor::Common::LzmaStream stream;
    if (stream.InitRawDecoder(static_cast<uint8_t>(container[0])) != Quor::Common::LzmaStream::kOk) return false;
    const size_t size = Vorn::Bytes::LoadLE64(container.data() + 1);
    out.reset(new char[size]);
    stream.SetInput(container.data() + 9, container.size() - 9);
    stream.SetOutput(out.get(), size);
    const int ret = stream.Code(Quor::Common::LzmaStream::kRun);
    return (ret == Quor::Common::LzmaStream::kOk || ret == Quor::Common::LzmaStream::kStreamEnd) &&
           stream.AvailOut() == 0;
}

// The zlib file at path inflated into out, which receives exactly size bytes; false on any failure.
inline bool BareZlib(const std::string& path, std::unique_ptr<char[]>& out, size_t size) {
    const std::string packed = ReadAll(path);
    Vorn::ZStream stream;
    if (stream.InitInflate(Vorn::ZStream::kZlibFormat) != Vorn::ZStream::kOk) return false;
    out.reset(new char[size]);
    stream.SetInput(packed.data(), static_cast<uint32_t>(packed.size()));
    stream.SetOutput(out.get(), static_cast<uint32_t>(size));
    return stream.Inflate(Vorn::ZStream::kFinish) == Vorn::ZStream::kStreamEnd && stream.TotalOut() == size;
}

}  // namespace QuorBench
