#include "foundation/ByteOrder.h"

#include <gtest/gtest.h>

using namespace Vorn::Bytes;

TEST(ByteOrder, RoundTripsLittleEndian) {
    std::vector<uint8_t> out;
    ByteWriter w(out);
    w.U8(0x01);
    w.U16(0x0302);
    w.U32(0x07060504);
    w.U64(0x0F0E0D0C0B0A0908ull);
    ASSERT_EQ(out.size(), 15u);
    for (size_t i = 0; i < out.size(); ++i) EXPECT_EQ(out[i], i + 1);

    ByteReader r(out.data(), out.size());
    uint8_t a;
    uint16_t b;
    uint32_t c;
    uint64_t d;
    ASSERT_TRUE(r.U8(a) && r.U16(b) && r.U32(c) && r.U64(d));
    EXPECT_EQ(b, 0x0302);
    EXPECT_EQ(c, 0x07060504u);
    EXPECT_EQ(d, 0x0F0E0D0C0B0A0908ull);
    EXPECT_EQ(r.Remaining(), 0u);
}

TEST(ByteOrder, ReaderRefusesToReadPastTheEnd) {
    const uint8_t bytes[6] = {1, 2, 3, 4, 5, 6};
    ByteReader r(bytes, sizeof bytes);
    uint32_t v;
    ASSERT_TRUE(r.U32(v));
    EXPECT_FALSE(r.U32(v));  // only two bytes left
    EXPECT_EQ(r.Position(), 4u);
    EXPECT_FALSE(r.ok());
    uint8_t small;
    EXPECT_FALSE(r.U8(small));  // a failed reader stays failed

    ByteReader s(bytes, sizeof bytes);
    EXPECT_FALSE(s.Skip(SIZE_MAX));  // no overflow in the bounds check
    ByteReader t(bytes, sizeof bytes);
    EXPECT_FALSE(t.Seek(7));
    EXPECT_TRUE(ByteReader(bytes, 6).Seek(6));
}
