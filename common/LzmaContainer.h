#pragma once
// The LZMA2 container of stored files, and the two loops that write and read it.
//
// Layout (numbers little-endian, no magic): 1 byte, the LZMA2 property byte (dictionary size);
// 8 bytes, the uncompressed size (all ones = unknown); then a raw LZMA2 stream that ends with its
// end marker.
//
// Both loops move data through caller-supplied byte readers and writers and return a coder code
// (kOk = 0, or one of the failures below); they never throw. Decoding is bounded by what the
// container states: with a known size it stops once that many bytes came out and reports a stream
// that ends (end marker or end of input) before that as kDataError; with an unknown size it needs
// the end marker. Input shorter than the 9-byte header is kDataError. The loops keep their two
// 64 KiB buffers on the calling thread's stack. Thread-compatible: one call per reader/writer pair.
#include <cstddef>
#include <cstdint>

namespace Quor::Common::LzmaContainer {

constexpr size_t kHeaderSize = 9;
constexpr uint64_t kUnknownSize = ~uint64_t(0);
constexpr size_t kBufferSize = 65536;

// Outcome codes of the loops.
constexpr int kOk = 0;
constexpr int kDataError = 1;    // corrupt or truncated stream, or a size that does not match
constexpr int kMemError = 2;     // the coder could not get its memory
constexpr int kUnsupported = 4;  // invalid property byte
constexpr int kReadError = 8;
constexpr int kWriteError = 9;   // a writer took fewer bytes than it was given

// Source of bytes. Read fills up to size bytes and sets size to the count read (0 at the end);
// returns kOk, or kReadError on a failure.
class IByteReader {
public:
    virtual int Read(void* data, size_t& size) = 0;

protected:
    ~IByteReader() = default;
};

// Sink of bytes: returns how many of the bytes it took (fewer means failure).
class IByteWriter {
public:
    virtual size_t Write(const void* data, size_t size) = 0;

protected:
    ~IByteWriter() = default;
};

// Writes the header (property byte of the encoder, size) and the LZMA2 stream of everything the
// reader gives. When size is not kUnknownSize and the reader gives another number of bytes, the
// result is kDataError (the container written so far would state a wrong size).
int Encode(IByteReader& in, uint64_t size, IByteWriter& out);

// Decodes one container from the reader; output goes to out when it is given (else it is only
// checked). decodedSize (optional) receives the number of bytes produced, also on failure.
// limit bounds the output whatever the container says: a header that states more is kDataError
// before anything is decoded, and a stream of unknown size that passes it is kDataError before
// the bytes past it reach out.
int Decode(IByteReader& in, IByteWriter* out, uint64_t* decodedSize = nullptr, uint64_t limit = kUnknownSize);

// Decodes one container held in memory straight into out, a block of exactly `size` bytes, with
// the outcome Decode gives for that limit when it must produce exactly `size` bytes: a header
// that states another size is kDataError; a stated size stops decoding once that many came out;
// a stream of unknown size must end with its marker at `size` bytes, neither before nor after.
// decoded receives the number of bytes written to out, also on failure. Nothing is written past
// out + size.
int DecodeInto(const void* input, size_t length, void* out, size_t size, size_t& decoded);

}  // namespace Quor::Common::LzmaContainer
