#include "archive/ArchiveFileBuilder.h"

#include <gtest/gtest.h>

#include <map>

#include "archive/ArchiveFile.h"
#include "archive/PairLimit.h"
#include "archive/testing/ArchiveTesting.h"
#include "tests/kit/TempDir.h"
#include "foundation/ByteOrder.h"

namespace Quor::FileSystem::Impl {
namespace {

using ArchiveTesting::Content;
using ArchiveTesting::LogRecorder;
using QuorTest::ReadFile;
using QuorTest::TempDir;
using QuorTest::WriteFile;

// Reads a written pair back and returns path -> stored bytes.
std::map<std::string, std::string> ReadBack(const std::string& folder, const std::string& name) {
    ArchiveFile pair(name, folder, 10);
    EXPECT_TRUE(pair.Read(nullptr)) << "pair " << name << " does not read back";
    std::map<std::string, std::string> files;
    const std::string data = ReadFile(folder + "/" + name + ".dat");
    for (uint32_t i = 0; i < pair.GetCount(); ++i) {
        const auto* entry = pair.GetFileListEntry(i);
        files[pair.GetPath(i)] = data.substr(entry->dataOffset, entry->dataSize);
    }
    return files;
}

TEST(ArchiveFileBuilder, EmptyBuilderWritesHeaderAndEmptyTable) {
    TempDir dir;
    ArchiveFileBuilder builder(0);
    ASSERT_EQ(builder.Write(dir / "e.zef", nullptr), S_OK);
    const std::string index = ReadFile(dir / "e.zef");
    // Header (magic, version, id, 20, 24), count 0, string table {8, 0}.
    const uint32_t expected[] = {0x18BE0EF0, 1, 0, 20, 24, 0, 8, 0};
    ASSERT_EQ(index.size(), sizeof expected);
    for (size_t i = 0; i < 8; ++i) EXPECT_EQ(Vorn::Bytes::LoadLE32(index.data() + 4 * i), expected[i]) << "word " << i;
    EXPECT_EQ(ReadFile(dir / "e.zef.dat"), "");
}

TEST(ArchiveFileBuilder, StretchesAndWholeFilesLandInDiskOrder) {
    TempDir dir;
    const std::string source = Content(1, 1000);
    const std::string whole = Content(2, 333);
    WriteFile(dir / "src.bin", source);
    WriteFile(dir / "whole.bin", whole);
    ArchiveFileBuilder builder(0);
    // Two back-to-back stretches, a gap, a third stretch, an empty stretch, and a whole file.
    ASSERT_EQ(builder.AddStretch("b/two", dir / "src.bin", 100, 50), S_OK);
    ASSERT_EQ(builder.AddStretch("a/one", dir / "src.bin", 0, 100), S_OK);
    ASSERT_EQ(builder.AddStretch("c/three", dir / "src.bin", 400, 200), S_OK);
    ASSERT_EQ(builder.AddStretch("d/empty", dir / "src.bin", 900, 0), S_OK);
    ASSERT_EQ(builder.Add("e/whole", dir / "whole.bin", 0, 0), S_OK);
    ASSERT_EQ(builder.Write(dir / "p.zef", nullptr), S_OK);
    EXPECT_EQ(builder.GetBytesWritten(), 100u + 50 + 200 + 333);

    auto files = ReadBack(dir.path(), "p.zef");
    EXPECT_EQ(files["a/one"], source.substr(0, 100));
    EXPECT_EQ(files["b/two"], source.substr(100, 50));
    EXPECT_EQ(files["c/three"], source.substr(400, 200));
    EXPECT_EQ(files["d/empty"], "");
    EXPECT_EQ(files["e/whole"], whole);
    // The data file holds the bodies back to back in disk order, then the 16-byte trailer.
    const std::string data = ReadFile(dir / "p.zef.dat");
    EXPECT_EQ(data.substr(0, 350), source.substr(0, 150) + source.substr(400, 200));
    EXPECT_EQ(data.size(), 683u + 16);
}

TEST(ArchiveFileBuilder, SourcesDifferingOnlyInCaseAreTwoFiles) {
    TempDir dir;
    WriteFile(dir / "Data.bin", Content(3, 64));
    WriteFile(dir / "data.bin", Content(4, 64));
    ArchiveFileBuilder builder(0);
    ASSERT_EQ(builder.AddStretch("x", dir / "Data.bin", 0, 32), S_OK);
    ASSERT_EQ(builder.AddStretch("y", dir / "data.bin", 32, 32), S_OK);
    ASSERT_EQ(builder.Write(dir / "p.zef", nullptr), S_OK);
    auto files = ReadBack(dir.path(), "p.zef");
    EXPECT_EQ(files["x"], Content(3, 64).substr(0, 32));
    EXPECT_EQ(files["y"], Content(4, 64).substr(32, 32));
}

TEST(ArchiveFileBuilder, PathDifferingOnlyInCaseIsRefused) {
    LogRecorder log;
    ArchiveFileBuilder builder(0);
    ASSERT_EQ(builder.Add("Dir/File.txt", "/nonexistent", 0, 0), S_OK);
    EXPECT_EQ(builder.Add("dir/file.TXT", "/nonexistent", 0, 0), E_FAIL);
    EXPECT_TRUE(log.Contains("File already marked for adding"));
    EXPECT_EQ(builder.Add("", "/nonexistent", 0, 0), E_FAIL);
    EXPECT_TRUE(log.Contains("Empty file name"));
}

struct FailureCase {
    const char* name;
    uint64_t limit;     // pair size limit for the case
    uint32_t stretch;   // bytes asked of the 100-byte source
    bool cancelled;
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class ArchiveFileBuilderFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(ArchiveFileBuilderFailure, WriteReportsEFail) {
    const FailureCase& c = GetParam();
    TempDir dir;
    WriteFile(dir / "src.bin", Content(5, 100));
    SetMaxPairDataSizeForTesting(c.limit);
    signed char cancel = c.cancelled ? 1 : 0;
    User::AutoUpdateProgress progress(nullptr, &cancel, 100);
    User::AutoUpdateProgress::AutoTimer timer(progress, User::WORK_TYPE_DISK_ACCESS);
    ArchiveFileBuilder builder(0);
    ASSERT_EQ(builder.AddStretch("a", dir / "src.bin", 0, c.stretch), S_OK);
    ASSERT_EQ(builder.AddStretch("b", dir / "src.bin", 0, 60), S_OK);
    LogRecorder log;
    EXPECT_EQ(builder.Write(dir / "p.zef", &timer), E_FAIL) << c.name;
    EXPECT_TRUE(log.Contains("p.zef")) << log.All();
}

INSTANTIATE_TEST_SUITE_P(Cases, ArchiveFileBuilderFailure,
                         ::testing::Values(FailureCase{"OverThePairLimit", 100, 60, false},
                                           FailureCase{"SourceShorterThanItsStretch", 1000, 150, false},
                                           FailureCase{"Cancelled", 1000, 60, true}),
                         [](const ::testing::TestParamInfo<FailureCase>& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace Quor::FileSystem::Impl
