#include "common/StringTable.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "foundation/api/IBuffer.h"

using Quor::Common::StringTable;

namespace {
std::vector<uint8_t> Bytes(const std::shared_ptr<Quor::API::IBuffer>& buffer) {
    const auto* p = static_cast<const uint8_t*>(buffer->GetBufferPointer());
    return std::vector<uint8_t>(p, p + buffer->GetBufferSize());
}
}  // namespace

TEST(StringTable, EmptyBuilderBuildsAnEightByteImage) {
    StringTable::Builder builder;
    auto image = builder.Build();
    EXPECT_EQ(Bytes(image), (std::vector<uint8_t>{8, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(StringTable::GetString(image->GetBufferPointer(), 0), nullptr);
    EXPECT_TRUE(StringTable::IsValidImage(image->GetBufferPointer(), 8));
}

TEST(StringTable, StoresEachDistinctStringOnceInOrderOfFirstAddition) {
    StringTable::Builder builder;
    EXPECT_EQ(builder.Add("a"), 0u);
    EXPECT_EQ(builder.Add("b"), 1u);
    EXPECT_EQ(builder.Add("a"), 0u);
    auto image = builder.Build();
    const std::vector<uint8_t> expected = {28,  0, 0,   0, 2, 0, 0, 0,  // total size, count
                                           24,  0, 0,   0, 2, 0, 0, 0,  // string 0: offset 24, length 2
                                           26,  0, 0,   0, 2, 0, 0, 0,  // string 1: offset 26, length 2
                                           'a', 0, 'b', 0};
    EXPECT_EQ(Bytes(image), expected);
    EXPECT_STREQ(StringTable::GetString(image->GetBufferPointer(), 0), "a");
    EXPECT_STREQ(StringTable::GetString(image->GetBufferPointer(), 1), "b");
    EXPECT_EQ(StringTable::GetString(image->GetBufferPointer(), 2), nullptr);
    EXPECT_EQ(StringTable::GetString(nullptr, 0), nullptr);
    // Build leaves the builder usable.
    EXPECT_EQ(builder.Add("c"), 2u);
    EXPECT_EQ(builder.Build()->GetBufferSize(), 8u + 3 * 8 + 6);
}

TEST(StringTable, EqualityIsCaseSensitiveAndEmptyStringsTakeOneByte) {
    StringTable::Builder builder;
    EXPECT_EQ(builder.Add("a"), 0u);
    EXPECT_EQ(builder.Add("A"), 1u);
    EXPECT_EQ(builder.Add(""), 2u);
    auto image = builder.Build();
    auto bytes = Bytes(image);
    ASSERT_EQ(bytes.size(), 8u + 3 * 8 + 2 + 2 + 1);
    EXPECT_EQ(bytes[8 + 2 * 8 + 4], 1);  // length of the empty string counts its zero
    EXPECT_STREQ(StringTable::GetString(image->GetBufferPointer(), 2), "");
}

TEST(StringTable, IsValidImageRefusesInconsistentImages) {
    StringTable::Builder builder;
    builder.Add("ab");
    builder.Add("c");
    const std::vector<uint8_t> good = Bytes(builder.Build());  // 8 + 16 + 3 + 2 = 29 bytes
    ASSERT_TRUE(StringTable::IsValidImage(good.data(), good.size()));

    struct Case {
        const char* what;
        size_t offset;
        uint8_t value;
    };
    const Case cases[] = {
        {"total size larger than the bytes", 0, 30},
        {"count larger than the table can hold", 4, 200},
        {"offset past the end", 8, 40},
        {"length past the end", 12, 10},
        {"zero length", 20, 0},
        {"string without its zero", 26, 'x'},
    };
    for (const Case& c : cases) {
        auto bad = good;
        bad[c.offset] = c.value;
        EXPECT_FALSE(StringTable::IsValidImage(bad.data(), bad.size())) << c.what;
    }
    EXPECT_FALSE(StringTable::IsValidImage(good.data(), good.size() - 1)) << "truncated image";
    EXPECT_FALSE(StringTable::IsValidImage(good.data(), 7)) << "shorter than the header";
    EXPECT_FALSE(StringTable::IsValidImage(nullptr, 0));
}
