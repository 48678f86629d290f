#include "tools/jojodiff/ZstdPatchCodec.h"

#define ZSTD_STATIC_LINKING_ONLY  // ZSTD_c_stableInBuffer: compress straight from the mapped file
#include <zstd.h>
#include <zstd_errors.h>

#include <algorithm>
#include <memory>

namespace JojoDiff {

namespace {

struct CCtxFree {
    void operator()(ZSTD_CCtx* c) const { ZSTD_freeCCtx(c); }
};
struct DCtxFree {
    void operator()(ZSTD_DCtx* d) const { ZSTD_freeDCtx(d); }
};
using CCtxPtr = std::unique_ptr<ZSTD_CCtx, CCtxFree>;
using DCtxPtr = std::unique_ptr<ZSTD_DCtx, DCtxFree>;

CodecStatus CompressError(size_t code) {
    return ZSTD_getErrorCode(code) == ZSTD_error_memory_allocation ? CodecStatus::OutOfMemory
                                                                     : CodecStatus::Failed;
}

// One setting for every size: the lazy parser of level 9 and, once the window passes 32 MiB, a
// match table of a quarter of the window's positions (at most 2^26 entries) so that the match
// finder reaches back into the whole original instead of only its last few MiB. Measured on
// shared-library builds and generated pairs of 30 to 200 MB (new file plus original up to 512
// MiB), this gives patches 8-31% smaller than xdelta3's (as large on already-compressed content)
// at about 0.04-0.09 s per MB on one core: about as small as those of level 19 at a twentieth of
// its time. Long-distance matching made those
// patches 20-30% larger (its matches displace the cheaper repeat-offset matches after each edit),
// so it serves only windows beyond what the table can hold. libzstd's worker threads were no
// faster here (one job covers the window) and doubled the memory.
constexpr int kLevel = 9;
constexpr int kLargeTableFromWindowLog = 25;
constexpr int kTableLogMax = 26;
constexpr int kLongDistanceFromWindowLog = 30;

constexpr size_t kBlockHeaderSize = 3;  // last-block bit, type (2 bits), size (21 bits), little-endian

}  // namespace

int PatchWindowLog(uint64_t originalSize, uint64_t inputSize) {
    const uint64_t reach = originalSize + inputSize;
    int log = ZSTD_WINDOWLOG_MIN;
    while (log < ZSTD_WINDOWLOG_MAX && (uint64_t{1} << log) < reach) ++log;
    return log;
}

CodecStatus CompressAgainst(const uint8_t* original, size_t originalSize, const uint8_t* input,
                            size_t inputSize, const FrameSink& sink) {
    CCtxPtr cctx(ZSTD_createCCtx());
    if (!cctx) return CodecStatus::OutOfMemory;
    const int windowLog = PatchWindowLog(originalSize, inputSize);
    const int hashLog = windowLog >= kLargeTableFromWindowLog ? std::min(windowLog - 2, kTableLogMax) : 0;
    const size_t setup[] = {
        ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_compressionLevel, kLevel),
        ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_windowLog, windowLog),
        ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_hashLog, hashLog),  // 0: the level's own
        ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_enableLongDistanceMatching,
                               windowLog >= kLongDistanceFromWindowLog ? ZSTD_ps_enable : ZSTD_ps_disable),
        ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_checksumFlag, 0),
        ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_contentSizeFlag, 1),
        ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_stableInBuffer, 1),
        ZSTD_CCtx_setPledgedSrcSize(cctx.get(), inputSize),
        ZSTD_CCtx_refPrefix(cctx.get(), originalSize ? original : nullptr, originalSize),
    };
    for (size_t r : setup)
        if (ZSTD_isError(r)) return CompressError(r);

    const size_t chunk = ZSTD_CStreamOutSize();
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[chunk]);
    if (!buffer) return CodecStatus::OutOfMemory;
    ZSTD_inBuffer in{input, inputSize, 0};
    for (;;) {
        ZSTD_outBuffer out{buffer.get(), chunk, 0};
        const size_t left = ZSTD_compressStream2(cctx.get(), &out, &in, ZSTD_e_end);
        if (ZSTD_isError(left)) return CompressError(left);
        if (out.pos && !sink(buffer.get(), out.pos)) return CodecStatus::SinkFailed;
        if (left == 0) return CodecStatus::Ok;
    }
}

CodecStatus CheckFrame(const uint8_t* frame, size_t frameSize, uint64_t contentSize) {
    // Exactly one frame, stating the expected size; skippable frames and trailing bytes are refused.
    if (frameSize < ZSTD_FRAMEHEADERSIZE_PREFIX(ZSTD_f_zstd1) || ZSTD_isSkippableFrame(frame, frameSize))
        return CodecStatus::CorruptFrame;
    const size_t frameLength = ZSTD_findFrameCompressedSize(frame, frameSize);
    if (ZSTD_isError(frameLength) || frameLength != frameSize) return CodecStatus::CorruptFrame;
    ZSTD_frameHeader header;
    if (ZSTD_getFrameHeader(&header, frame, frameSize) != 0 || header.frameType != ZSTD_frame ||
        header.frameContentSize != contentSize)
        return CodecStatus::CorruptFrame;

    // What the blocks can give at most: a raw or RLE block its stated size, a compressed block one
    // block's worth. ZSTD_findFrameCompressedSize has walked these headers within the frame already.
    uint64_t bound = 0;
    size_t at = header.headerSize;
    for (;;) {
        if (frameSize - at < kBlockHeaderSize) return CodecStatus::CorruptFrame;
        const uint32_t blockHeader = frame[at] | (frame[at + 1] << 8) | (static_cast<uint32_t>(frame[at + 2]) << 16);
        at += kBlockHeaderSize;
        const bool last = blockHeader & 1;
        const uint32_t type = (blockHeader >> 1) & 3;
        const size_t size = blockHeader >> 3;
        const size_t stored = type == 1 ? 1 : size;  // RLE: one byte repeated size times
        if (type == 3 || frameSize - at < stored) return CodecStatus::CorruptFrame;
        bound += type == 2 ? header.blockSizeMax : size;
        at += stored;
        if (last) break;
    }
    return bound >= contentSize ? CodecStatus::Ok : CodecStatus::CorruptFrame;
}

CodecStatus DecompressAgainst(const uint8_t* original, size_t originalSize, const uint8_t* frame,
                              size_t frameSize, uint8_t* output, size_t outputSize) {
    if (CheckFrame(frame, frameSize, outputSize) != CodecStatus::Ok) return CodecStatus::CorruptFrame;

    DCtxPtr dctx(ZSTD_createDCtx());
    if (!dctx) return CodecStatus::OutOfMemory;
    const size_t setup[] = {
        ZSTD_DCtx_setParameter(dctx.get(), ZSTD_d_windowLogMax, PatchWindowLog(originalSize, outputSize)),
        ZSTD_DCtx_refPrefix(dctx.get(), originalSize ? original : nullptr, originalSize),
    };
    for (size_t r : setup)
        if (ZSTD_isError(r))
            return ZSTD_getErrorCode(r) == ZSTD_error_memory_allocation ? CodecStatus::OutOfMemory
                                                                          : CodecStatus::CorruptFrame;
    const size_t written = ZSTD_decompressDCtx(dctx.get(), output, outputSize, frame, frameSize);
    if (ZSTD_isError(written)) {
        return ZSTD_getErrorCode(written) == ZSTD_error_memory_allocation ? CodecStatus::OutOfMemory
                                                                          : CodecStatus::CorruptFrame;
    }
    return written == outputSize ? CodecStatus::Ok : CodecStatus::CorruptFrame;
}

}  // namespace JojoDiff
