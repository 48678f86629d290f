#include "tools/jojodiff/PatchHeader.h"

#include <gtest/gtest.h>

namespace JojoDiff {
namespace {

PatchHeader Sample() {
    PatchHeader h;
    h.originalSize = 0x0102030405060708ull;
    h.resultSize = 42;
    h.originalHash = 0x1111222233334444ull;
    h.resultHash = 0xAAAABBBBCCCCDDDDull;
    return h;
}

TEST(PatchHeader, RoundTripsWithFixedLittleEndianLayout) {
    const auto bytes = EncodePatchHeader(Sample());
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "JDZP");
    EXPECT_EQ(bytes[4], 1);
    EXPECT_EQ(bytes[6], 48);
    EXPECT_EQ(bytes[8], 0x08);  // original size, low byte first
    EXPECT_EQ(bytes[15], 0x01);

    PatchHeader read;
    ASSERT_EQ(DecodePatchHeader(bytes.data(), bytes.size(), read), HeaderStatus::Ok);
    EXPECT_EQ(read.originalSize, Sample().originalSize);
    EXPECT_EQ(read.resultSize, Sample().resultSize);
    EXPECT_EQ(read.originalHash, Sample().originalHash);
    EXPECT_EQ(read.resultHash, Sample().resultHash);
}

TEST(PatchHeader, RefusesShortForeignNewerAndDamagedHeaders) {
    const auto good = EncodePatchHeader(Sample());
    PatchHeader read;
    for (size_t size : {0u, 3u, 4u, 8u, 47u})
        EXPECT_EQ(DecodePatchHeader(good.data(), size, read), HeaderStatus::TooShort) << size;

    auto foreign = good;
    foreign[0] = 'X';
    EXPECT_EQ(DecodePatchHeader(foreign.data(), foreign.size(), read), HeaderStatus::NotAPatch);

    auto newer = good;
    newer[4] = 2;
    EXPECT_EQ(DecodePatchHeader(newer.data(), newer.size(), read), HeaderStatus::UnsupportedVersion);
    auto longer = good;
    longer[6] = 56;
    EXPECT_EQ(DecodePatchHeader(longer.data(), longer.size(), read), HeaderStatus::UnsupportedVersion);

    // Any single flipped bit in the fields or in the header's own hash is caught.
    for (size_t byte = 8; byte < kPatchHeaderSize; ++byte) {
        for (int bit = 0; bit < 8; bit += 3) {
            auto damaged = good;
            damaged[byte] ^= static_cast<uint8_t>(1u << bit);
            EXPECT_EQ(DecodePatchHeader(damaged.data(), damaged.size(), read), HeaderStatus::Damaged)
                << "byte " << byte << " bit " << bit;
        }
    }
}

}  // namespace
}  // namespace JojoDiff
