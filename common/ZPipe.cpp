#include "common/ZPipe.h"

#include <cstdlib>
#include <cstring>

#include "foundation/ZStream.h"

namespace Quor::Common::ZLibHelper {

using Vorn::ZStream;

namespace {

// The growing output block of the malloc loops; it never grows past limit (at most kMaxOutput).
struct Block {
    unsigned char*& data;
    size_t& size;
    size_t& capacity;
    size_t limit = kMaxOutput;

    // Makes room for `needed` more bytes: the first block gets `first` bytes (at least needed),
    // later the capacity doubles until they fit, both held at limit. False when out of memory or
    // past limit.
    bool Reserve(size_t needed, size_t first) {
        if (needed > limit - size) return false;
        if (size + needed <= capacity) return true;
        size_t grown = data ? capacity : (first > needed ? first : needed);
        while (grown < size + needed) grown = grown > limit / 2 ? limit : grown * 2;
        if (grown > limit) grown = limit;
        void* block = realloc(data, grown ? grown : 1);
        if (!block) return false;
        data = static_cast<unsigned char*>(block);
        capacity = grown;
        return true;
    }
};

// One inflate step's result as the loops report it.
int InflateResult(int ret) { return ret == ZStream::kNeedDict ? ZStream::kDataError : ret; }
bool IsFailure(int ret) {
    return ret == ZStream::kDataError || ret == ZStream::kMemError || ret == ZStream::kStreamError;
}

}  // namespace

int zpipe_def(FILE* source, FILE* dest, int level) {
    ZStream stream;
    int ret = stream.InitDeflate(level);
    if (ret != ZStream::kOk) return ret;
    unsigned char in[CHUNK];
    unsigned char out[CHUNK];
    ZStream::Flush flush = ZStream::kNoFlush;
    do {
        const size_t count = fread(in, 1, CHUNK, source);
        if (ferror(source)) return ZStream::kErrno;
        flush = feof(source) ? ZStream::kFinish : ZStream::kNoFlush;
        stream.SetInput(in, static_cast<uint32_t>(count));
        do {
            stream.SetOutput(out, CHUNK);
            ret = stream.Deflate(flush);
            if (ret == ZStream::kStreamError) return ret;
            const size_t have = CHUNK - stream.AvailOut();
            if (have && (fwrite(out, 1, have, dest) != have || ferror(dest))) return ZStream::kErrno;
        } while (stream.AvailOut() == 0);
    } while (flush != ZStream::kFinish);
    return ret == ZStream::kStreamEnd ? ZStream::kOk : ZStream::kStreamError;
}

int zpipe_inf(FILE* source, FILE* dest, uint64_t limit) {
    uint64_t written = 0;
    ZStream stream;
    int ret = stream.InitInflate(ZStream::kZlibFormat);
    if (ret != ZStream::kOk) return ret;
    unsigned char in[CHUNK];
    unsigned char out[CHUNK];
    do {
        const size_t count = fread(in, 1, CHUNK, source);
        if (ferror(source)) return ZStream::kErrno;
        if (count == 0) break;
        stream.SetInput(in, static_cast<uint32_t>(count));
        do {
            stream.SetOutput(out, CHUNK);
            ret = InflateResult(stream.Inflate(ZStream::kNoFlush));
            if (IsFailure(ret)) return ret;
            const size_t have = CHUNK - stream.AvailOut();
            if (have > limit - written) return ZStream::kDataError;
            written += have;
            if (have && (fwrite(out, 1, have, dest) != have || ferror(dest))) return ZStream::kErrno;
        } while (stream.AvailOut() == 0);
    } while (ret != ZStream::kStreamEnd);
    return ret == ZStream::kStreamEnd ? ZStream::kOk : ZStream::kDataError;
}

int zpipe_inf_to_malloc(FILE* source, unsigned char*& data, size_t& size, size_t& capacity) {
    data = nullptr;
    size = capacity = 0;
    Block block{data, size, capacity};
    ZStream stream;
    int ret = stream.InitInflate(ZStream::kZlibFormat);
    if (ret != ZStream::kOk) return ret;
    if (!block.Reserve(CHUNK, CHUNK)) return ZStream::kMemError;
    unsigned char in[CHUNK];
    do {
        const size_t count = fread(in, 1, CHUNK, source);
        if (ferror(source)) return ZStream::kErrno;
        if (count == 0) break;
        stream.SetInput(in, static_cast<uint32_t>(count));
        do {
            // Inflates straight into the block's free space; a full block doubles first.
            if (capacity == size && !block.Reserve(CHUNK, CHUNK)) return ZStream::kMemError;
            const size_t room = capacity - size < CHUNK ? capacity - size : CHUNK;
            stream.SetOutput(data + size, static_cast<uint32_t>(room));
            ret = InflateResult(stream.Inflate(ZStream::kNoFlush));
            if (IsFailure(ret)) return ret;
            size += room - stream.AvailOut();
        } while (stream.AvailOut() == 0 && ret != ZStream::kStreamEnd);
    } while (ret != ZStream::kStreamEnd);
    return ret == ZStream::kStreamEnd ? ZStream::kOk : ZStream::kDataError;
}

int zpipe_inf_from_mem_to_malloc(const unsigned char* source, size_t sourceLength, unsigned char*& data, size_t& size,
                                 size_t& capacity) {
    return zpipe_inf_from_mem_to_malloc(source, sourceLength, data, size, capacity, kMaxOutput);
}

int zpipe_inf_from_mem_to_malloc(const unsigned char* source, size_t sourceLength, unsigned char*& data, size_t& size,
                                 size_t& capacity, size_t limit) {
    data = nullptr;
    size = 0;
    if (limit > kMaxOutput) limit = kMaxOutput;
    const size_t first = capacity < limit ? capacity : limit;
    capacity = 0;
    Block block{data, size, capacity, limit};
    ZStream stream;
    int ret = stream.InitInflate(ZStream::kZlibFormat);
    if (ret != ZStream::kOk) return ret;
    if (first != 0 && !block.Reserve(first, first)) return ZStream::kMemError;
    unsigned char in[CHUNK];
    unsigned char out[CHUNK];
    size_t position = 0;
    while (position < sourceLength && ret != ZStream::kStreamEnd) {
        const size_t count = freadFromMemory(in, 1, CHUNK, source, sourceLength, position);
        position += count;
        stream.SetInput(in, static_cast<uint32_t>(count));
        do {
            if (capacity > size) {
                // Room in the block: inflate straight into it.
                const size_t room = capacity - size < CHUNK ? capacity - size : CHUNK;
                stream.SetOutput(data + size, static_cast<uint32_t>(room));
                ret = InflateResult(stream.Inflate(ZStream::kNoFlush));
                if (IsFailure(ret)) return ret;
                size += room - stream.AvailOut();
            } else {
                // No room: inflate a piece, then grow the block for it.
                stream.SetOutput(out, CHUNK);
                ret = InflateResult(stream.Inflate(ZStream::kNoFlush));
                if (IsFailure(ret)) return ret;
                const size_t have = CHUNK - stream.AvailOut();
                if (have) {
                    // The stream holds more than the caller said it may: refused before it grows.
                    if (have > limit - size) return ZStream::kDataError;
                    if (!block.Reserve(have, have)) return ZStream::kMemError;
                    std::memcpy(data + size, out, have);
                    size += have;
                }
            }
        } while (stream.AvailOut() == 0 && ret != ZStream::kStreamEnd);
    }
    return ret == ZStream::kStreamEnd ? ZStream::kOk : ZStream::kDataError;
}

size_t freadFromMemory(void* destination, size_t itemSize, size_t itemCount, const unsigned char* source,
                       size_t sourceLength, size_t position) {
    if (itemSize == 0 || !source || position >= sourceLength) return 0;
    size_t items = (sourceLength - position) / itemSize;
    if (items > itemCount) items = itemCount;
    if (items) std::memcpy(destination, source + position, items * itemSize);
    return items;
}

}  // namespace Quor::Common::ZLibHelper
