#pragma once
// One zlib stream (inflate or deflate) owned for its whole life: the zlib state is released by
// End() or the destructor on every path, and the object can be moved but not copied.
//
// Result codes and flush modes have zlib's own values (ZStream::kOk == Z_OK, ...), so callers that
// report zlib codes need not include zlib. Window bits follow zlib too: kZlibFormat (RFC 1950
// header and trailer), kRawDeflate (no header, as inside zip members), kGzipFormat.
// One stream belongs to one thread at a time. Input and output buffers stay owned by the caller
// and must stay valid while the stream works on them.
//
// This file and its .cpp are the only places that include zlib.
#include <cstddef>
#include <cstdint>
#include <memory>

namespace Vorn {

class ZStream {
public:
    // zlib result codes.
    static constexpr int kOk = 0;
    static constexpr int kStreamEnd = 1;
    static constexpr int kNeedDict = 2;
    static constexpr int kErrno = -1;
    static constexpr int kStreamError = -2;
    static constexpr int kDataError = -3;
    static constexpr int kMemError = -4;
    static constexpr int kBufError = -5;
    static constexpr int kVersionError = -6;

    // zlib flush modes.
    enum Flush { kNoFlush = 0, kSyncFlush = 2, kFinish = 4 };

    // Window bits.
    static constexpr int kZlibFormat = 15;
    static constexpr int kRawDeflate = -15;
    static constexpr int kGzipFormat = 31;

    static constexpr int kDefaultLevel = -1;

    ZStream();
    ~ZStream();
    ZStream(ZStream&&) noexcept;
    ZStream& operator=(ZStream&&) noexcept;
    ZStream(const ZStream&) = delete;
    ZStream& operator=(const ZStream&) = delete;

    // Start the stream; a stream that is already started is ended first. kOk or zlib's failure.
    int InitInflate(int windowBits = kZlibFormat);
    int InitDeflate(int level = kDefaultLevel, int windowBits = kZlibFormat);
    // Releases the zlib state; does nothing when the stream was never started.
    void End();
    bool IsStarted() const;

    void SetInput(const void* data, uint32_t size);
    void SetOutput(void* data, uint32_t size);
    // One zlib step. kStreamError when the stream is not started in that direction.
    int Inflate(Flush flush);
    int Deflate(Flush flush);
    // Starts over with the same settings (inflateReset / deflateReset).
    int Reset();

    uint32_t AvailIn() const;
    uint32_t AvailOut() const;
    uint64_t TotalIn() const;
    uint64_t TotalOut() const;
    // zlib's text for the last failure, or "" when it gave none.
    const char* Message() const;

    // Upper bound of the deflated size of `size` bytes with the default settings (zlib format).
    static size_t DeflateBound(size_t size);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

}  // namespace Vorn
