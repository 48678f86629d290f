#include "archive/ArchiveFile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "archive/FileFormat.h"
#include "archive/testing/ArchiveTesting.h"
#include "tests/kit/TempDir.h"
#include "foundation/ByteOrder.h"

namespace Quor::FileSystem::Impl {
namespace {

using ArchiveTesting::Content;
using ArchiveTesting::LogRecorder;
using ArchiveTesting::ReadStretch;
using QuorTest::ReadFile;
using QuorTest::TempDir;
using QuorTest::WriteFile;

TEST(ArchiveFileFormat, HashFoldsAsciiCaseAndSignExtendsHighBytes) {
    EXPECT_EQ(FileFormat::HashString(""), 0u);
    EXPECT_EQ(FileFormat::HashString("a"), 0x61u);
    EXPECT_EQ(FileFormat::HashString("Data/File.TXT"), FileFormat::HashString("data/file.txt"));
    // 0x80 enters as 0xFFFFFF80; the top nibble is then folded back in.
    EXPECT_EQ(FileFormat::HashString("\x80"), 0x0FFFFF70u);
}

// A pair in a temporary folder, with helpers to store files through it.
class ArchiveFileTest : public ::testing::Test {
protected:
    std::string Source(const std::string& name, const std::string& bytes) {
        WriteFile(dir / ("src/" + name), bytes);
        return dir / ("src/" + name);
    }
    // Queues path with `bytes` as its content.
    bool Add(const std::string& path, const std::string& bytes) { return pair.Add(path, Source(path, bytes), nullptr); }
    // The stored bytes of path, read as a reader would: data file, offset, size.
    std::string Stored(const std::string& path) {
        uint32_t offset = 0, size = 0;
        if (!pair.Search(path, offset, size)) {
            ADD_FAILURE() << path << " not found";
            return "<absent>";
        }
        return size == 0 ? std::string() : ReadStretch(dir / "p.zef.dat", offset, size);
    }

    TempDir dir;
    ArchiveFile pair{"p.zef", dir.path(), 10};
};

TEST_F(ArchiveFileTest, NewPairIsSearchableRightAfterItsFirstWrite) {
    pair.Reset();
    ASSERT_TRUE(Add("a.txt", "alpha"));
    ASSERT_TRUE(Add("dir/B.txt", "bravo"));
    ASSERT_TRUE(pair.Write(false, nullptr));
    EXPECT_TRUE(pair.IsUpTodate());
    EXPECT_EQ(Stored("a.txt"), "alpha");
    EXPECT_EQ(Stored("DIR/b.TXT"), "bravo");  // look-ups ignore case
    EXPECT_EQ(pair.GetSize(), 10u);
}

TEST_F(ArchiveFileTest, QueuedChangesAreNotSearchableUntilWritten) {
    pair.Reset();
    ASSERT_TRUE(Add("a.txt", "alpha"));
    LogRecorder log;
    uint32_t offset = 7, size = 7;
    EXPECT_FALSE(pair.Search("a.txt", offset, size));
    EXPECT_TRUE(log.Contains("Must flush archive file before it can be searched."));
    EXPECT_FALSE(pair.IsUpTodate());
}

TEST_F(ArchiveFileTest, DeleteThenAddReplacesAStoredFile) {
    pair.Reset();
    ASSERT_TRUE(Add("a.txt", "old"));
    ASSERT_TRUE(Add("keep.txt", "kept"));
    ASSERT_TRUE(pair.Write(false, nullptr));
    {
        LogRecorder log;
        EXPECT_FALSE(pair.Add("A.TXT", Source("x", "new"), nullptr));
        EXPECT_TRUE(log.Contains("Filed already in archive"));
    }
    ASSERT_TRUE(pair.Delete("a.txt", nullptr));
    ASSERT_TRUE(pair.Add("a.txt", Source("a2", "brand new"), nullptr));
    ASSERT_TRUE(pair.Write(false, nullptr));
    EXPECT_EQ(Stored("a.txt"), "brand new");
    EXPECT_EQ(Stored("keep.txt"), "kept");
    EXPECT_EQ(pair.GetCount(), 2u);
}

TEST_F(ArchiveFileTest, DeleteOfAnUnknownPathRewritesTheSameContent) {
    pair.Reset();
    ASSERT_TRUE(Add("a.txt", "alpha"));
    ASSERT_TRUE(pair.Write(false, nullptr));
    ASSERT_TRUE(pair.Delete("nothere", nullptr));
    {
        LogRecorder log;
        EXPECT_FALSE(pair.Delete("NOTHERE", nullptr));
        EXPECT_TRUE(log.Contains("File already marked for deleteing"));
    }
    ASSERT_TRUE(pair.Write(false, nullptr));
    EXPECT_EQ(Stored("a.txt"), "alpha");
    EXPECT_EQ(pair.GetCount(), 1u);
}

TEST_F(ArchiveFileTest, EmptyStoredFilesStayEmptyAndAreFound) {
    pair.Reset();
    ASSERT_TRUE(Add("empty", ""));
    ASSERT_TRUE(pair.Write(false, nullptr));
    EXPECT_EQ(Stored("empty"), "");  // a pair of only empty files still finds them
    ASSERT_TRUE(Add("big", Content(1, 5000)));
    ASSERT_TRUE(pair.Write(false, nullptr));
    ASSERT_TRUE(pair.Write(true, nullptr));  // forced: copies every stored stretch again
    EXPECT_EQ(Stored("empty"), "");
    EXPECT_EQ(Stored("big"), Content(1, 5000));
    EXPECT_EQ(ReadFile(dir / "p.zef.dat").size(), 5000u + 16);
}

TEST_F(ArchiveFileTest, HeldHandleRefusesTheRewriteAndKeepsTheChanges) {
    pair.Reset();
    ASSERT_TRUE(Add("a.txt", "alpha"));
    ASSERT_TRUE(pair.Write(false, nullptr));
    uint32_t handle = 42;
    ASSERT_TRUE(pair.AddFileHandle(handle));
    uint32_t again = 42;
    EXPECT_FALSE(pair.AddFileHandle(again));
    EXPECT_EQ(again, 0u);
    ASSERT_TRUE(Add("b.txt", "bravo"));
    {
        LogRecorder log;
        EXPECT_FALSE(pair.Write(false, nullptr));
        EXPECT_TRUE(log.Contains("Files in the archive are still locked."));
    }
    EXPECT_EQ(pair.GetCount(), 1u);
    EXPECT_FALSE(pair.RemoveFileHandle(7));
    EXPECT_TRUE(pair.RemoveFileHandle(42));
    ASSERT_TRUE(pair.Write(false, nullptr));
    EXPECT_EQ(Stored("b.txt"), "bravo");
}

TEST_F(ArchiveFileTest, FailedBuildKeepsTheOldPairAndTheQueue) {
    pair.Reset();
    ASSERT_TRUE(Add("a.txt", "alpha"));
    ASSERT_TRUE(pair.Write(false, nullptr));
    ASSERT_TRUE(pair.Add("b.txt", dir / "src/missing", nullptr));
    {
        LogRecorder log;
        EXPECT_FALSE(pair.Write(false, nullptr));
        EXPECT_TRUE(log.Contains("Failed to write archive file"));
    }
    // Nothing of the failed build is left in the folder; the old pair still reads.
    EXPECT_EQ(QuorTest::Exists(dir / "p.zef.commit"), false);
    ArchiveFile again("p.zef", dir.path(), 10);
    ASSERT_TRUE(again.Read(nullptr));
    EXPECT_EQ(again.GetCount(), 1u);
    // The queued addition is still there: once its source exists the rewrite succeeds.
    WriteFile(dir / "src/missing", "bravo");
    ASSERT_TRUE(pair.Write(false, nullptr));
    EXPECT_EQ(Stored("b.txt"), "bravo");
}

TEST_F(ArchiveFileTest, InvalidNamesAreNotQueued) {
    pair.Reset();
    LogRecorder log;
    const std::string source = Source("x", "x");
    for (const char* bad : {"/abs", "a/../b", "a//b", "./a", "a\\b", ".", "a/"})
        EXPECT_FALSE(pair.Add(bad, source, nullptr)) << bad;
    EXPECT_TRUE(log.Contains("Invalid file name"));
    EXPECT_FALSE(pair.Add("", "x", nullptr));
    EXPECT_TRUE(log.Contains("Empty file name"));
}

TEST_F(ArchiveFileTest, VersionTwoIndexIsInvalid) {
    pair.Reset();
    ASSERT_TRUE(Add("a.txt", "alpha"));
    ASSERT_TRUE(pair.Write(false, nullptr));
    std::string index = ReadFile(dir / "p.zef");
    Vorn::Bytes::StoreLE32(index.data() + 4, 2);
    WriteFile(dir / "p.zef", index);
    ArchiveFile reread("p.zef", dir.path(), 10);
    bool invalid = false;
    LogRecorder log;
    EXPECT_FALSE(reread.Read(&invalid));
    EXPECT_TRUE(invalid);
    EXPECT_TRUE(log.Contains("Incorrect magic value or version, invalid archive"));
}

TEST_F(ArchiveFileTest, IndexOfAnotherWriteOfThePairIsDetected) {
    pair.Reset();
    ASSERT_TRUE(Add("a.txt", "alpha"));
    ASSERT_TRUE(pair.Write(false, nullptr));
    const std::string firstIndex = ReadFile(dir / "p.zef");
    // Same size, different bytes: only the pair id tells the two writes apart.
    ASSERT_TRUE(pair.Delete("a.txt", nullptr));
    ASSERT_TRUE(pair.Add("a.txt", Source("a2", "ALPHA"), nullptr));
    ASSERT_TRUE(pair.Write(false, nullptr));
    WriteFile(dir / "p.zef", firstIndex);

    ArchiveFile reread("p.zef", dir.path(), 10);
    bool invalid = false;
    LogRecorder log;
    EXPECT_FALSE(reread.Read(&invalid));
    EXPECT_FALSE(invalid);
    EXPECT_EQ(reread.GetReadFailure(), ArchiveFile::ReadFailure::kDataMismatch);
    EXPECT_TRUE(log.Contains("does not match its data file"));
}

TEST_F(ArchiveFileTest, CopiesShareTheIndexButNotTheQueue) {
    pair.Reset();
    ASSERT_TRUE(Add("a.txt", "alpha"));
    ASSERT_TRUE(pair.Write(false, nullptr));
    ASSERT_TRUE(Add("b.txt", "bravo"));
    uint32_t handle = 9;
    ASSERT_TRUE(pair.AddFileHandle(handle));
    ArchiveFile copy(pair);
    EXPECT_TRUE(copy.Find("a.txt"));
    EXPECT_FALSE(copy.IsMarkedForAdding("b.txt"));
    EXPECT_EQ(copy.GetNumHandles(), 0);
    ArchiveFile moved(std::move(pair));
    EXPECT_TRUE(moved.IsMarkedForAdding("b.txt"));
    EXPECT_EQ(moved.GetNumHandles(), 1);
}

// Reading the pair again from disk as its data file holds it (what a commit of unknown outcome can
// leave) drops every queued file with its bytes, those written in place as well: the same path may
// be queued again, and the pair's size counts it once.
TEST_F(ArchiveFileTest, ReadingAgainDropsFilesWrittenInPlaceWithTheirBytes) {
    pair.Reset();
    ASSERT_TRUE(Add("a.txt", "alpha"));
    ASSERT_TRUE(pair.Write(false, nullptr));
    {
        const Vorn::UniqueFd fd = pair.BeginInPlace("b.bin");
        ASSERT_TRUE(fd.IsValid());
        const std::string bytes = Content(1, 40);
        ASSERT_EQ(::write(fd.Get(), bytes.data(), bytes.size()), 40);
        ASSERT_TRUE(pair.EndInPlace("b.bin", 40, true, nullptr));
    }
    ASSERT_TRUE(Add("c.txt", "charlie"));
    EXPECT_EQ(pair.GetProjectedSize(), 5u + 40u + 7u);
    std::vector<std::string> dropped;
    ASSERT_TRUE(pair.ReadKeepingWholeFiles(dropped));
    EXPECT_TRUE(dropped.empty());
    EXPECT_EQ(pair.GetProjectedSize(), 5u);
    EXPECT_FALSE(pair.IsMarkedForAdding("b.bin"));
    EXPECT_FALSE(pair.IsMarkedForAdding("c.txt"));
    ASSERT_TRUE(Add("b.bin", Content(2, 30)));
    EXPECT_EQ(pair.GetProjectedSize(), 5u + 30u);
    ASSERT_TRUE(pair.Write(false, nullptr));
    EXPECT_EQ(Stored("a.txt"), "alpha");
    EXPECT_EQ(Stored("b.bin"), Content(2, 30));
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        EXPECT_FALSE(entry.path().filename().string().starts_with("TMP")) << entry.path();
}

}  // namespace
}  // namespace Quor::FileSystem::Impl
