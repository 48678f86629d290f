#include "tools/jojodiff/PatchHeader.h"

#include <cstring>

#include "foundation/ByteOrder.h"
#include "tools/jojodiff/Xxh64.h"

namespace JojoDiff {

namespace {
constexpr uint8_t kMagic[4] = {'J', 'D', 'Z', 'P'};
constexpr size_t kHashedBytes = 40;
}  // namespace

std::array<uint8_t, kPatchHeaderSize> EncodePatchHeader(const PatchHeader& header) {
    using namespace Vorn::Bytes;
    std::array<uint8_t, kPatchHeaderSize> out{};
    std::memcpy(out.data(), kMagic, sizeof kMagic);
    StoreLE16(out.data() + 4, kPatchFormatVersion);
    StoreLE16(out.data() + 6, static_cast<uint16_t>(kPatchHeaderSize));
    StoreLE64(out.data() + 8, header.originalSize);
    StoreLE64(out.data() + 16, header.resultSize);
    StoreLE64(out.data() + 24, header.originalHash);
    StoreLE64(out.data() + 32, header.resultHash);
    StoreLE64(out.data() + 40, Xxh64(out.data(), kHashedBytes));
    return out;
}

HeaderStatus DecodePatchHeader(const uint8_t* bytes, size_t size, PatchHeader& header) {
    Vorn::Bytes::ByteReader in(bytes, size);
    uint8_t magic[4];
    uint16_t version = 0;
    uint16_t headerSize = 0;
    if (!in.Raw(magic, sizeof magic)) return HeaderStatus::TooShort;
    if (std::memcmp(magic, kMagic, sizeof kMagic) != 0) return HeaderStatus::NotAPatch;
    if (!in.U16(version) || !in.U16(headerSize)) return HeaderStatus::TooShort;
    if (version != kPatchFormatVersion || headerSize != kPatchHeaderSize) return HeaderStatus::UnsupportedVersion;

    PatchHeader read;
    uint64_t headerHash = 0;
    if (!in.U64(read.originalSize) || !in.U64(read.resultSize) || !in.U64(read.originalHash) ||
        !in.U64(read.resultHash) || !in.U64(headerHash))
        return HeaderStatus::TooShort;
    if (headerHash != Xxh64(bytes, kHashedBytes)) return HeaderStatus::Damaged;
    header = read;
    return HeaderStatus::Ok;
}

}  // namespace JojoDiff
