#pragma once
// The compression core of jdiff and jpatch: libzstd in patch-from mode. The only file of the
// project that includes libzstd.
//
// CompressAgainst encodes a new file as one zstd frame that may copy from the original (the whole
// original is referenced as the frame's prefix, with a window and match table that cover original
// and new file together); DecompressAgainst rebuilds the new file from that
// frame and the same original. Neither keeps state between calls; each call owns its zstd context
// and releases it on every path. Safe to call from several threads at once.
#include <cstddef>
#include <cstdint>
#include <functional>

namespace JojoDiff {

enum class CodecStatus {
    Ok,
    OutOfMemory,   // libzstd could not allocate its context or tables
    Failed,        // any other libzstd failure while compressing
    SinkFailed,    // the sink refused the bytes (the caller knows why)
    CorruptFrame,  // not exactly one valid frame of the expected size, or it does not decode
};

// Receives the compressed frame piece by piece; returns false to stop.
using FrameSink = std::function<bool(const uint8_t* data, size_t size)>;

CodecStatus CompressAgainst(const uint8_t* original, size_t originalSize, const uint8_t* input,
                            size_t inputSize, const FrameSink& sink);

// Checks without decoding that frame is exactly one zstd frame (nothing after it) stating
// contentSize as its content size, and that its blocks can produce that many bytes: a frame's
// claim is known true or false before any space is set aside for it. Ok or CorruptFrame.
CodecStatus CheckFrame(const uint8_t* frame, size_t frameSize, uint64_t contentSize);

// Decodes frame into output, which must hold exactly outputSize bytes: the frame must state that
// content size and decode to it; anything else (trailing bytes included) is CorruptFrame.
CodecStatus DecompressAgainst(const uint8_t* original, size_t originalSize, const uint8_t* frame,
                              size_t frameSize, uint8_t* output, size_t outputSize);

// Base-2 logarithm of the window that lets the last byte of the new file reach the first byte of
// the original (clamped to what libzstd allows).
int PatchWindowLog(uint64_t originalSize, uint64_t inputSize);

}  // namespace JojoDiff
