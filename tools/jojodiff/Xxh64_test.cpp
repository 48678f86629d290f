#include "tools/jojodiff/Xxh64.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace JojoDiff {
namespace {

// Bytes (i * 7 + 3) mod 256; the lengths cross the 4-, 8- and 32-byte steps of the hash.
std::vector<uint8_t> Pattern(size_t n) {
    std::vector<uint8_t> b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i * 7 + 3);
    return b;
}

TEST(Xxh64, KnownValues) {
    EXPECT_EQ(Xxh64(nullptr, 0), 0xEF46DB3751D8E999ull);
    EXPECT_EQ(Xxh64("abc", 3), 0x44BC2CF5AD770999ull);
    const struct {
        size_t size;
        uint64_t hash;
    } cases[] = {
        {1, 0x1F25C8D0BC1F4BB6ull},   {4, 0x9BB64B7D66EE9FDAull},   {8, 0xDAB99D95C6F90092ull},
        {31, 0xA2AA5F33CC4A6119ull},  {32, 0x23C3C17EF790FD97ull},  {33, 0x50A7CFC7BA588784ull},
        {100, 0xA61F8D4C170FE531ull}, {1000, 0x5F235FA033F1A3FBull},
    };
    for (const auto& c : cases) {
        const auto data = Pattern(c.size);
        EXPECT_EQ(Xxh64(data.data(), data.size()), c.hash) << "length " << c.size;
    }
}

TEST(Xxh64, ReadsUnalignedInputAndHonoursTheSeed) {
    const auto data = Pattern(200);
    std::vector<uint8_t> shifted(data.size() + 3);
    std::copy(data.begin(), data.end(), shifted.begin() + 3);
    EXPECT_EQ(Xxh64(shifted.data() + 3, data.size()), Xxh64(data.data(), data.size()));
    EXPECT_NE(Xxh64(data.data(), data.size(), 1), Xxh64(data.data(), data.size(), 0));
}

}  // namespace
}  // namespace JojoDiff
