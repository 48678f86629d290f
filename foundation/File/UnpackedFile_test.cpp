#include "foundation/File/UnpackedFile.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>

namespace {

using Vorn::File::UnpackedFile;

std::unique_ptr<UnpackedFile> Make(const std::string& bytes) {
    auto file = std::make_unique<UnpackedFile>("mem/file.txt");
    file->Data().assign(bytes.begin(), bytes.end());
    file->Seal();
    return file;
}

TEST(UnpackedFile, SeekClampsToTheData) {
    auto f = Make("0123456789");
    EXPECT_STREQ(f->GetFileName(), "mem/file.txt");
    EXPECT_EQ(f->GetSize(), 10u);
    EXPECT_STREQ(f->GetUnpackedData(), "0123456789");
    const struct {
        long offset;
        int origin;
        long expected;
    } cases[] = {{-5, 0, 0}, {10, 2, 10}, {-3, 2, 7}, {2, 1, 9}, {5, 1, 10}, {4, 7, 4}, {-100, 1, 0},
                 {LONG_MAX, 1, 10}, {LONG_MIN, 2, 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(f->Seek(c.offset, c.origin), 0);
        EXPECT_EQ(f->Tell(), c.expected) << "Seek(" << c.offset << ", " << c.origin << ")";
        EXPECT_EQ(f->EoF(), c.expected == 10);
    }
}

TEST(UnpackedFile, GetsDropsCarriageReturnsAndStopsAtZero) {
    auto f = Make(std::string("one\r\ntwo\r\n\r\nlong line here\0after", 32));
    char line[8];
    std::string lines;
    while (f->Gets(line, sizeof line)) lines += std::string("[") + line + "]";
    EXPECT_EQ(lines, "[one\n][two\n][\n][long li][ne here][][after]");  // the zero ends an empty line
    EXPECT_EQ(f->Gets(line, sizeof line), nullptr);
}

TEST(UnpackedFile, ReadCopiesWholeItemsAndEmptyFileIsInvalid) {
    auto f = Make("abcdefghij");
    char buffer[16] = {};
    EXPECT_EQ(f->Read(buffer, 3, 2), 2u);
    EXPECT_EQ(std::string(buffer, 6), "abcdef");
    EXPECT_EQ(f->Read(buffer, 3, 5), 1u);  // 4 bytes left: one whole item, all 4 bytes copied
    EXPECT_EQ(std::string(buffer, 4), "ghij");
    EXPECT_EQ(f->Tell(), 10);
    EXPECT_EQ(f->Read(buffer, 1, 1), 0u);
    EXPECT_EQ(f->Write("x", 1, 1), 0u);
    EXPECT_TRUE(f->IsValid());

    auto empty = Make("");
    EXPECT_FALSE(empty->IsValid());
    EXPECT_EQ(empty->GetUnpackedData(), nullptr);
    EXPECT_EQ(empty->Gets(buffer, sizeof buffer), nullptr);
}

}  // namespace
