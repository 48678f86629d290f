#pragma once
// The patch file that jdiff writes and jpatch reads.
//
// Layout (every number little-endian):
//
//   offset size  field
//        0    4  magic "JDZP"
//        4    2  format version, 1
//        6    2  header size in bytes, 48
//        8    8  size of the original file
//       16    8  size of the result (the new file)
//       24    8  XXH64 (seed 0) of the original file
//       32    8  XXH64 (seed 0) of the result
//       40    8  XXH64 (seed 0) of bytes 0 to 39 of this header
//       48    .  exactly one zstd frame holding the result, compressed with the whole original
//                referenced as its prefix (patch-from mode); the frame states the result size as
//                its content size and nothing may follow it
//
// jpatch applies a patch only to an original of the recorded size and hash, and keeps a result
// only when its size and hash are the recorded ones. The header's own hash catches a damaged
// header before any of its fields is trusted.
//
// EncodePatchHeader and DecodePatchHeader are pure functions, safe from any thread.
#include <array>
#include <cstddef>
#include <cstdint>

namespace JojoDiff {

struct PatchHeader {
    uint64_t originalSize = 0;
    uint64_t resultSize = 0;
    uint64_t originalHash = 0;
    uint64_t resultHash = 0;
};

constexpr size_t kPatchHeaderSize = 48;
constexpr uint16_t kPatchFormatVersion = 1;

enum class HeaderStatus {
    Ok,
    TooShort,            // fewer than 48 bytes
    NotAPatch,           // wrong magic
    UnsupportedVersion,  // a format version or header size this program does not know
    Damaged,             // the header's hash does not match its bytes
};

std::array<uint8_t, kPatchHeaderSize> EncodePatchHeader(const PatchHeader& header);

// Reads the header from the first bytes of a patch file; header is written only on Ok.
HeaderStatus DecodePatchHeader(const uint8_t* bytes, size_t size, PatchHeader& header);

}  // namespace JojoDiff
