#pragma once
// One raw LZMA2 coder (encoder or decoder) of liblzma, owned for its whole life: the coder's
// memory is released by End() or the destructor on every path. Movable, not copyable.
//
// The coder works on a bare LZMA2 stream (no .xz or .lzma wrapper). Its settings travel as the one
// LZMA2 property byte (the dictionary size): InitRawEncoder reports it, InitRawDecoder takes it.
// A raw LZMA2 stream written with kFinish ends with the LZMA2 end marker, and the decoder reports
// kStreamEnd when it meets that marker.
// Result codes and actions have liblzma's own values (kOk == LZMA_OK, ...), so callers need not
// include liblzma. One stream belongs to one thread at a time; the input and output buffers stay
// owned by the caller and must stay valid while the coder works on them.
//
// This file and its .cpp are the only places that include liblzma.
#include <cstddef>
#include <cstdint>
#include <memory>

namespace Quor::Common {

class LzmaStream {
public:
    // liblzma result codes.
    static constexpr int kOk = 0;
    static constexpr int kStreamEnd = 1;
    static constexpr int kMemError = 5;
    static constexpr int kOptionsError = 8;
    static constexpr int kDataError = 9;
    static constexpr int kBufError = 10;
    static constexpr int kProgError = 11;

    // liblzma actions.
    enum Action { kRun = 0, kFinish = 3 };

    // liblzma's default compression preset.
    static constexpr uint32_t kDefaultPreset = 6;

    LzmaStream();
    ~LzmaStream();
    LzmaStream(LzmaStream&&) noexcept;
    LzmaStream& operator=(LzmaStream&&) noexcept;
    LzmaStream(const LzmaStream&) = delete;
    LzmaStream& operator=(const LzmaStream&) = delete;

    // Starts a raw LZMA2 encoder with the given preset and reports its property byte. A started
    // coder is ended first. kOk or liblzma's failure.
    int InitRawEncoder(uint32_t preset, uint8_t& propertyByte);
    // Starts a raw LZMA2 decoder for the property byte. When maxOutput is given (not ~0), the
    // decoder's dictionary is kept no larger than that many bytes (never below liblzma's minimum),
    // since a stream of that size cannot refer further back. kOptionsError for an invalid byte.
    int InitRawDecoder(uint8_t propertyByte, uint64_t maxOutput = ~uint64_t(0));
    // Releases the coder; does nothing when none was started.
    void End();
    bool IsStarted() const;

    void SetInput(const void* data, size_t size);
    void SetOutput(void* data, size_t size);
    // One coding step. kProgError when no coder is started.
    int Code(Action action);

    size_t AvailIn() const;
    size_t AvailOut() const;
    uint64_t TotalIn() const;
    uint64_t TotalOut() const;

    // Dictionary size in bytes that a property byte stands for; 0 for an invalid byte (above 40).
    static uint32_t DictionarySize(uint8_t propertyByte);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

}  // namespace Quor::Common
