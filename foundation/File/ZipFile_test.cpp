#include "foundation/File/ZipFile.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "foundation/File/ZipFileProvider.h"
#include "tests/kit/TempDir.h"
#include "tests/kit/ZipBuilder.h"

namespace {

using QuorTest::BuildZip;
using QuorTest::ZipMember;
using QuorTest::ZipOptions;
using Vorn::File::ZipFile;

std::string Text(size_t size) {
    std::string s;
    for (size_t i = 0; i < size; ++i) s += static_cast<char>('a' + (i * 7 + i / 13) % 26);
    return s;
}

std::vector<std::string> Names(const ZipFile& zip) {
    std::vector<std::string> names;
    for (int i = 0; i < zip.Count(); ++i) names.push_back(zip.Entry(i).name);
    return names;
}

std::string Unpack(ZipFile& zip, int index) {
    std::vector<char> out;
    zip.UnpackFile(index, out);
    return std::string(out.begin(), out.end());
}

class ZipFileTest : public ::testing::Test {
protected:
    std::string Write(const std::string& bytes, const std::string& name = "a.zip") {
        QuorTest::WriteFile(m_dir / name, bytes);
        return m_dir / name;
    }
    QuorTest::TempDir m_dir{"zipfile"};
};

// The central directory and the local headers both give every member; only the central
// directory's names have their "/" turned into "\".
TEST_F(ZipFileTest, ReadsStoredAndDeflatedMembersThroughEitherDirectory) {
    const std::vector<ZipMember> members = {
        {"readme.txt", "plain stored bytes", 0},
        {"data/big.bin", Text(100000), 8},
        {"data/", "", 0},
    };
    struct Case {
        const char* what;
        ZipOptions options;
        std::vector<std::string> names;
    } cases[] = {
        {"end record", ZipOptions(), {"readme.txt", "data\\big.bin", "data\\"}},
        {"no end record", ZipOptions(false), {"readme.txt", "data/big.bin", "data/"}},
        {"end record of disk 9999", ZipOptions(true, "", 9999), {"readme.txt", "data/big.bin", "data/"}},
        // An end record whose comment is too long to be found in the last 399 bytes.
        {"end record out of reach", ZipOptions(true, std::string(400, 'c')), {"readme.txt", "data/big.bin", "data/"}},
        {"end record with short comment", ZipOptions(true, std::string(300, 'c')), {"readme.txt", "data\\big.bin", "data\\"}},
    };
    for (const Case& c : cases) {
        ZipFile zip;
        ASSERT_TRUE(zip.Open(Write(BuildZip(members, c.options)).c_str())) << c.what;
        EXPECT_EQ(Names(zip), c.names) << c.what;
        EXPECT_EQ(Unpack(zip, 0), members[0].data) << c.what;
        EXPECT_EQ(Unpack(zip, 1), members[1].data) << c.what;
        EXPECT_EQ(Unpack(zip, 2), "") << c.what;
    }
}

TEST_F(ZipFileTest, RefusesWhatIsNotAZip) {
    ZipFile zip;
    EXPECT_FALSE(zip.Open((m_dir / "missing.zip").c_str()));
    EXPECT_FALSE(zip.Open(Write("MZ not a zip at all").c_str()));
    EXPECT_FALSE(zip.Open(Write("P").c_str()));
    EXPECT_TRUE(zip.Open(Write("PK").c_str()));  // a zip without any member
    EXPECT_EQ(zip.Count(), 0);
}

// Zip tools often write a longer extra field into the local header than into the central one; the
// data starts after the local header's own fields.
TEST_F(ZipFileTest, DataOffsetComesFromTheLocalHeader) {
    ZipMember stored{"s.txt", "stored content", 0};
    stored.localExtra = std::string(9, 'x');
    stored.centralExtra = std::string(5, 'y');
    ZipMember deflated{"d.txt", Text(5000), 8};
    deflated.localExtra = std::string(13, 'z');
    ZipFile zip;
    ASSERT_TRUE(zip.Open(Write(BuildZip({stored, deflated})).c_str()));
    EXPECT_EQ(Unpack(zip, 0), stored.data);
    EXPECT_EQ(Unpack(zip, 1), deflated.data);
}

// Recorded sizes are untrusted: a size that the data cannot give unpacks to nothing, and a huge
// claimed size allocates nothing.
TEST_F(ZipFileTest, WrongSizesUnpackToNothing) {
    ZipMember small{"small.txt", Text(1000), 8};
    small.recordedSize = 999;
    ZipMember large{"large.txt", Text(1000), 8};
    large.recordedSize = 1001;
    ZipMember huge{"huge.txt", Text(1000), 8};
    huge.recordedSize = 0xFFFFFFF0;
    ZipMember storedHuge{"stored.txt", Text(1000), 0};
    storedHuge.recordedSize = 0xFFFFFFF0;
    ZipMember unknownMethod{"m.txt", "x", 12};
    ZipMember good{"good.txt", "x", 0};
    for (bool endRecord : {true, false}) {
        const std::string bytes =
            BuildZip({small, large, huge, storedHuge, unknownMethod, good}, ZipOptions(endRecord));
        ZipFile zip;
        ASSERT_TRUE(zip.Open(Write(bytes).c_str()));
        ASSERT_EQ(zip.Count(), 6);
        for (int i = 0; i < 5; ++i) EXPECT_EQ(Unpack(zip, i), "") << zip.Entry(i).name;
        EXPECT_EQ(Unpack(zip, 5), "x");
        std::vector<char> untouched(3, 'u');
        zip.UnpackFile(6, untouched);
        zip.UnpackFile(-1, untouched);
        EXPECT_EQ(untouched.size(), 3u);
    }
}

// Names longer than the reader's 255-byte buffer and names that could leave a folder are left out
// of the directory; the members after them are still read.
TEST_F(ZipFileTest, LongAndUnsafeNamesAreLeftOut) {
    const std::vector<std::string> bad = {std::string(256, 'n'), "../up.txt", "/abs.txt", "a//b.txt",
                                          "a/./b.txt", "a\\b.txt", std::string("nul\0.txt", 8), ""};
    std::vector<ZipMember> members;
    for (const auto& name : bad) members.push_back({name, "bad", 0});
    members.push_back({std::string(255, 'k'), "longest allowed", 0});
    members.push_back({"ok/fine.txt", "fine", 8});
    ZipMember longComment{"commented.txt", "c", 0};
    longComment.comment = std::string(5000, '#');
    longComment.centralExtra = std::string(3000, 'e');
    members.push_back(longComment);
    members.push_back({"last.txt", "last", 0});
    for (bool endRecord : {true, false}) {
        ZipFile zip;
        ASSERT_TRUE(zip.Open(Write(BuildZip(members, ZipOptions(endRecord))).c_str()));
        const std::string sep = endRecord ? "\\" : "/";
        EXPECT_EQ(Names(zip), (std::vector<std::string>{std::string(255, 'k'), "ok" + sep + "fine.txt",
                                                         "commented.txt", "last.txt"}));
        EXPECT_EQ(Unpack(zip, 1), "fine");
        EXPECT_EQ(Unpack(zip, 3), "last");
    }
}

// Truncated and bit-flipped archives are read without a crash or a sanitizer report; every
// member either unpacks or comes back empty. Runs the reader and the provider over each.
TEST_F(ZipFileTest, DamagedArchivesAreHandledSafely) {
    std::vector<ZipMember> members = {
        {"a.txt", "short stored text\r\nline two\n", 0},
        {"dir/sub/b.bin", Text(3000), 8},
        {"dir/", "", 0},
        {"dir/sub/noext", Text(200), 8},
        {"c.dat", Text(50), 0},
    };
    const std::string good[] = {BuildZip(members), BuildZip(members, ZipOptions(false))};
    std::mt19937 rng(20240607);
    int variants = 0;
    for (const std::string& base : good) {
        std::vector<std::string> damaged;
        for (size_t cut = 0; cut < base.size(); cut += 1 + cut / 64) damaged.push_back(base.substr(0, cut));
        for (int i = 0; i < 1500; ++i) {
            std::string bytes = base;
            const int flips = 1 + static_cast<int>(rng() % 4);
            for (int f = 0; f < flips; ++f) bytes[rng() % bytes.size()] ^= static_cast<char>(1u << (rng() % 8));
            damaged.push_back(bytes);
        }
        const std::string path = m_dir / "damaged.zip";
        for (const std::string& bytes : damaged) {
            QuorTest::WriteFile(path, bytes);
            ZipFile zip;
            if (zip.Open(path.c_str()))
                for (int i = 0; i < zip.Count(); ++i) Unpack(zip, i);
            Vorn::File::ZipFileProvider provider;
            if (provider.AddZip(path.c_str())) {
                for (const ZipMember& m : members) {
                    delete provider.Open(m.name.c_str(), "rb");
                    provider.CheckAccess(m.name.c_str(), 0);
                }
                provider.GetFilesFromPath("dir/sub/");
            }
            ++variants;
        }
    }
    EXPECT_GT(variants, 3000);
}

}  // namespace
