#pragma once
// The zlib stream loops under Quor::Common::ZLibHelper: deflate a stdio stream into another, and
// inflate a zlib stream (RFC 1950) from a stdio stream or from memory into a stdio stream or into
// a growing malloc block.
//
// Results are zlib codes: 0 (Z_OK), -1 (Z_ERRNO: a read or write failed), -3 (Z_DATA_ERROR:
// corrupt data, a preset dictionary asked for, or input that ended before the stream's end),
// -4 (Z_MEM_ERROR: no memory, or output beyond 0xFFFFFFFF bytes, the largest buffer), or what
// the coder's set-up returned. Bytes after the end of the stream are ignored. The loops work in
// steps of 16384 bytes with their buffers on the stack and release the coder on every path.
// The malloc loops hand out the block (data, size, capacity) also on failure; the caller frees it.
// Reentrant.
#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace Quor::Common::ZLibHelper {

constexpr size_t CHUNK = 16384;
constexpr size_t kMaxOutput = 0xFFFFFFFFu;

int zpipe_def(FILE* source, FILE* dest, int level);
// A stream that inflates past `limit` bytes fails with -3 before the bytes past it are written.
int zpipe_inf(FILE* source, FILE* dest, uint64_t limit = UINT64_MAX);
// The block starts with 16384 bytes and doubles when a piece does not fit.
int zpipe_inf_to_malloc(FILE* source, unsigned char*& data, size_t& size, size_t& capacity);
// capacity going in: size of the first block (0: the first block has the first piece's size,
// later the capacity doubles until the data fit). A capacity equal to the decoded size decodes
// without growing the block.
int zpipe_inf_from_mem_to_malloc(const unsigned char* source, size_t sourceLength, unsigned char*& data, size_t& size,
                                 size_t& capacity);
// The same with an upper bound on the output: a stream that inflates past `limit` bytes fails with
// -3 as soon as it passes it, and the block (first block included) never exceeds `limit` bytes.
int zpipe_inf_from_mem_to_malloc(const unsigned char* source, size_t sourceLength, unsigned char*& data, size_t& size,
                                 size_t& capacity, size_t limit);

// Copies the whole items that fit from source + position (not advanced) into destination: the
// number of items copied, 0 when position is at or past the end or itemSize is 0.
size_t freadFromMemory(void* destination, size_t itemSize, size_t itemCount, const unsigned char* source,
                       size_t sourceLength, size_t position);

}  // namespace Quor::Common::ZLibHelper
