#include "archive/Manager.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <cstring>
#include <tuple>

#include "archive/ArchiveFileBuilder.h"
#include "archive/Crc32.h"
#include "archive/FolderEntries.h"
#include "archive/IMain.h"
#include "archive/PairCommit.h"
#include "archive/PairLimit.h"
#include "archive/testing/ArchiveTesting.h"
#include "tests/kit/TempDir.h"
#include "foundation/CStd/CStd.h"
#include "foundation/ByteOrder.h"
#include "foundation/OsContext.h"
#include "foundation/testing/FaultInjectingFileSystem.h"

namespace Quor::FileSystem::Impl {
namespace {

using ArchiveTesting::Content;
using ArchiveTesting::LogRecorder;
using ArchiveTesting::ReadStretch;
using QuorTest::Exists;
using QuorTest::ReadFile;
using QuorTest::TempDir;
using QuorTest::WriteFile;

// An archive folder <tmp>/arch, source files under <tmp>/src, and the manager of the folder.
class ManagerTest : public ::testing::Test {
protected:
    std::shared_ptr<IManager> Open() {
        std::shared_ptr<IManager> manager;
        EXPECT_TRUE(Instance().CreateManager(manager, folder, "")) << "CreateManager(" << folder << ")";
        return manager;
    }
    std::string Source(const std::string& name, const std::string& bytes) {
        WriteFile(dir / ("src/" + name), bytes);
        return dir / ("src/" + name);
    }
    bool Add(IManager& manager, const std::string& path, const std::string& bytes) {
        const std::string source = Source(path, bytes);
        return manager.Add(path, &source, nullptr);
    }
    // The bytes of a stored file as a reader gets them: Find, then the data file.
    std::string Stored(IManager& manager, const std::string& path) {
        std::string name;
        uint32_t offset = 0, size = 0;
        if (!manager.Find(path, name, offset, size)) return "<absent>";
        return size == 0 ? std::string() : ReadStretch(folder + "/" + name, offset, size);
    }
    // The name the manager gives its n-th new pair.
    std::string PairName(unsigned n) const {
        const std::string text = "Archive" + std::to_string(n) + "_" + folder + std::to_string(n);
        return "Archive_" + std::to_string(FileFormat::HashString(text.c_str())) + ".zef";
    }
    // A reader's handle on the pair that stores path (0 when there is none); name receives the
    // pair's data file name.
    uint32_t Hold(IManager& manager, const std::string& path, std::string& name) {
        uint32_t offset = 0, size = 0;
        return manager.Find(path, name, offset, size) ? manager.OpenFileHandle(name) : 0;
    }
    // A written pair holding "a" (40 bytes of seed 1), by a manager that is gone.
    void WriteFirstPair() {
        auto manager = Open();
        ASSERT_TRUE(Add(*manager, "a", Content(1, 40)));
        ASSERT_TRUE(manager->WriteArchiveFiles(false, nullptr));
    }
    // No writer holds the folder's lock.
    bool WriterLockFree() const {
        LogRecorder quiet;
        FolderLock probe;
        return probe.Acquire(folder, std::chrono::milliseconds(0)) == FolderLock::Result::kLocked;
    }
    std::vector<std::string> Indexes() const {
        std::vector<std::string> names;
        char* list = nullptr;
        if (!Vorn::std_get_dir_listing(folder.c_str(), list)) return names;
        for (const char* n = list; *n; n += strlen(n) + 1)
            if (std::string(n).ends_with(".zef")) names.emplace_back(n);
        Vorn::std_free_dir_listing(list);
        std::sort(names.begin(), names.end());
        return names;
    }

    TempDir dir;
    std::string folder = dir / "arch";
};

TEST_F(ManagerTest, ThreeFilesFlushedAndListed) {
    auto manager = Open();
    {
        LogRecorder log;
        EXPECT_FALSE(Add(*manager, "bad//name", "x"));  // refused by the new pair it would start
        EXPECT_TRUE(log.Contains("Invalid file name"));
    }
    ASSERT_TRUE(Add(*manager, "a.txt", "alpha"));
    ASSERT_TRUE(Add(*manager, "dir/b.bin", Content(1, 3000)));
    ASSERT_TRUE(Add(*manager, "dir/sub/c", ""));
    ASSERT_TRUE(manager->WriteArchiveFiles(false, nullptr));

    std::vector<std::string> contents;
    manager->GetContents(contents);
    std::sort(contents.begin(), contents.end());
    EXPECT_EQ(contents, (std::vector<std::string>{"a.txt", "dir/b.bin", "dir/sub/c"}));
    ASSERT_EQ(Indexes(), std::vector<std::string>{PairName(0)});
    const std::string index = ReadFile(folder + "/" + PairName(0));
    EXPECT_EQ(index.substr(0, 8), std::string("\xF0\x0E\xBE\x18\x01\x00\x00\x00", 8));
    EXPECT_TRUE(Exists(folder + "/" + PairName(0) + ".dat"));
}

TEST_F(ManagerTest, NewPairIsFoundAndLockableRightAfterItsFirstFlush) {
    auto manager = Open();
    ASSERT_TRUE(Add(*manager, "a.txt", "alpha"));
    std::string name;
    uint32_t offset = 0, size = 0;
    {
        LogRecorder log;
        EXPECT_FALSE(manager->Find("a.txt", name, offset, size));
        EXPECT_EQ(manager->OpenFileHandle(PairName(0) + ".dat"), 0u);  // queued changes: no handle
    }
    ASSERT_TRUE(manager->WriteArchiveFiles(false, nullptr));
    ASSERT_TRUE(manager->Find("a.txt", name, offset, size));
    EXPECT_EQ(name, PairName(0) + ".dat");
    EXPECT_EQ(size, 5u);
    const uint32_t handle = manager->OpenFileHandle(name);
    EXPECT_NE(handle, 0u);
    EXPECT_TRUE(manager->CloseFileHandle(name, handle));
    EXPECT_FALSE(manager->CloseFileHandle(name, handle));
    EXPECT_TRUE(manager->IsArchiveUpToDate(name));
}

TEST_F(ManagerTest, PairsAreReadBackByTheNextManager) {
    {
        auto manager = Open();
        ASSERT_TRUE(Add(*manager, "a.txt", "alpha"));
        ASSERT_TRUE(Add(*manager, "b.txt", "bravo"));
        // Not flushed: the manager writes its queued changes when it goes.
    }
    auto manager = Open();
    EXPECT_EQ(Stored(*manager, "A.TXT"), "alpha");
    EXPECT_EQ(Stored(*manager, "b.txt"), "bravo");
    EXPECT_EQ(Stored(*manager, "c.txt"), "<absent>");
}

TEST_F(ManagerTest, OneLiveManagerPerFolder) {
    auto first = Open();
    std::shared_ptr<IManager> second;
    EXPECT_FALSE(Instance().CreateManager(second, folder, ""));
    EXPECT_FALSE(second);
    LogRecorder log;
    EXPECT_FALSE(Instance().CreateManager(second, "", ""));
    EXPECT_TRUE(log.Contains("Empty directory name"));
    first.reset();
    EXPECT_TRUE(Instance().CreateManager(second, folder, ""));
}

TEST_F(ManagerTest, EmptyPairIsRemovedWholeAndForeignFilesAreKept) {
    QuorTest::MakeDirs(folder);
    // An empty pair: 24-byte header and count, an empty string table and an empty data file.
    ArchiveFileBuilder empty(0);
    ASSERT_EQ(empty.Write(folder + "/Empty.zef", nullptr), S_OK);
    ASSERT_TRUE(Exists(folder + "/Empty.zef.dat"));
    // Files named like indexes that are not ours: another format, a link, a FIFO, a folder.
    WriteFile(folder + "/Magic.zef", std::string(40, 'x'));
    ASSERT_EQ(symlink("nowhere", (folder + "/Broken.zef").c_str()), 0);
    ASSERT_EQ(mkfifo((folder + "/Fifo.zef").c_str(), 0644), 0);
    QuorTest::MakeDirs(folder + "/Dir.zef");
    LogRecorder log(Log::WARNING);
    auto manager = Open();
    ASSERT_TRUE(manager);
    EXPECT_TRUE(log.Contains("Zero sized archive will be deleted and ignored"));
    EXPECT_TRUE(log.Contains("Magic.zef is not an archive index; it is ignored and kept"));
    EXPECT_TRUE(log.Contains("Fifo.zef is not a regular file"));
    EXPECT_FALSE(Exists(folder + "/Empty.zef"));
    EXPECT_FALSE(Exists(folder + "/Empty.zef.dat"));
    EXPECT_EQ(ReadFile(folder + "/Magic.zef"), std::string(40, 'x'));
    for (const char* kept : {"/Broken.zef", "/Fifo.zef", "/Dir.zef"}) {
        struct stat st;
        EXPECT_EQ(lstat((folder + kept).c_str(), &st), 0) << kept;
    }
    ASSERT_TRUE(Add(*manager, "a.txt", "alpha"));
    EXPECT_TRUE(manager->WriteArchiveFiles(false, nullptr));
    EXPECT_EQ(Stored(*manager, "a.txt"), "alpha");
}

TEST_F(ManagerTest, DamagedIndexIsSetAsideAndMismatchedPairKeepsTheBytesItHolds) {
    {
        auto manager = Open();
        ASSERT_TRUE(Add(*manager, "a.txt", "alpha"));
        ASSERT_TRUE(manager->WriteArchiveFiles(false, nullptr));
    }
    const std::string index = folder + "/" + PairName(0);
    const std::string good = ReadFile(index);
    const std::string goodData = ReadFile(index + ".dat");
    // A data file of another write of the pair: the files whose bytes lie in it stay (their
    // digests are the repair's business), the pair is written anew and takes further files.
    WriteFile(index + ".dat", "ALPHA" + std::string(16, 'x'));
    {
        LogRecorder log(Log::WARNING);
        auto manager = Open();
        EXPECT_TRUE(log.Contains("does not match its data file"));
        EXPECT_EQ(Stored(*manager, "a.txt"), "ALPHA");
        ASSERT_TRUE(Add(*manager, "b.txt", "bravo"));
        ASSERT_TRUE(manager->WriteArchiveFiles(false, nullptr));
        EXPECT_EQ(Stored(*manager, "b.txt"), "bravo");
    }
    EXPECT_NE(ReadFile(index), good);
    EXPECT_EQ(Indexes().size(), 1u);
    // One flipped bit anywhere in an index makes it damaged: the pair is set aside untouched and
    // its name is never given to a new pair.
    std::string flipped = good;
    flipped[good.size() / 2] ^= 0x10;
    WriteFile(index, flipped);
    WriteFile(index + ".dat", goodData);
    {
        LogRecorder log(Log::WARNING);
        auto manager = Open();
        EXPECT_TRUE(log.Contains("set aside as"));
        ASSERT_TRUE(Add(*manager, "c.txt", "charlie"));
        ASSERT_TRUE(manager->WriteArchiveFiles(false, nullptr));
    }
    EXPECT_FALSE(Exists(index));
    EXPECT_EQ(ReadFile(index + ".damaged"), flipped);
    EXPECT_EQ(ReadFile(index + ".damaged.dat"), goodData);
    // A second damage of a pair of the same name does not replace the first one set aside.
    WriteFile(index, flipped);
    {
        auto manager = Open();
        std::string name;
        uint32_t offset = 0, size = 0;
        EXPECT_TRUE(manager->Find("c.txt", name, offset, size));
        EXPECT_NE(name, PairName(0) + ".dat");
    }
    EXPECT_EQ(ReadFile(index + ".damaged"), flipped);
    EXPECT_EQ(ReadFile(index + ".damaged1"), flipped);
}

// A sound index whose data file lacks some of its files: the files whose bytes are all there stay
// in one sound pair, the others are dropped at load, so that adding them again never makes a
// second pair claim the same path and no reader is sent past the end of the data file.
TEST_F(ManagerTest, APairWhoseDataFileIsShortKeepsTheFilesItHolds) {
    struct Case {
        const char* what;
        size_t keep;  // bytes of the data file left
        std::vector<std::string> stored;
    };
    const Case cases[] = {
        {"cut inside the last file", 100 + 50 + 20, {"a", "b"}},
        {"cut inside the second file", 100 + 10, {"a"}},
        {"empty data file", 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(std::filesystem::remove_all(folder) || !Exists(folder));
        {
            auto manager = Open();
            ASSERT_TRUE(Add(*manager, "a", Content(1, 100)));
            ASSERT_TRUE(Add(*manager, "b", Content(2, 50)));
            ASSERT_TRUE(Add(*manager, "c", Content(3, 60)));
            ASSERT_TRUE(manager->WriteArchiveFiles(false, nullptr));
        }
        const std::string data = folder + "/" + PairName(0) + ".dat";
        ASSERT_EQ(::truncate(data.c_str(), static_cast<off_t>(c.keep)), 0);
        {
            LogRecorder log(Log::WARNING);
            auto manager = Open();
            EXPECT_TRUE(log.Contains("does not match its data file"));
            std::vector<std::string> contents;
            manager->GetContents(contents);
            std::sort(contents.begin(), contents.end());
            EXPECT_EQ(contents, c.stored);
            for (const std::string& path : c.stored)
                EXPECT_EQ(Stored(*manager, path), Content(path[0] - 'a' + 1, path == "a" ? 100 : 50)) << path;
            // What was dropped comes again, into the one pair of the folder.
            for (const auto& [path, seed, size] : {std::tuple{"a", 1, 100}, {"b", 2, 50}, {"c", 3, 60}}) {
                if (std::find(c.stored.begin(), c.stored.end(), path) == c.stored.end()) {
                    ASSERT_TRUE(Add(*manager, path, Content(seed, size))) << path;
                }
            }
            ASSERT_TRUE(manager->WriteArchiveFiles(false, nullptr));
        }
        auto manager = Open();
        std::vector<std::string> contents;
        manager->GetContents(contents);
        std::sort(contents.begin(), contents.end());
        EXPECT_EQ(contents, (std::vector<std::string>{"a", "b", "c"}));
        EXPECT_EQ(Indexes().size(), 1u);
        for (const auto& [path, seed, size] : {std::tuple{"a", 1, 100}, {"b", 2, 50}, {"c", 3, 60}})
            EXPECT_EQ(Stored(*manager, path), Content(seed, size)) << path;
    }
}

TEST_F(ManagerTest, FullPairsMakeNewPairsAndKeepTheirQueues) {
    SetMaxPairDataSizeForTesting(100);
    auto manager = Open();
    ASSERT_TRUE(Add(*manager, "a", Content(1, 60)));
    ASSERT_TRUE(Add(*manager, "b", Content(2, 60)));  // no room in the first pair
    ASSERT_TRUE(Add(*manager, "c", Content(3, 40)));  // fits the first pair
    {
        LogRecorder log;
        EXPECT_FALSE(Add(*manager, "huge", Content(4, 101)));
        EXPECT_TRUE(log.Contains("too large for an archive"));
    }
    ASSERT_TRUE(manager->WriteArchiveFiles(false, nullptr));
    EXPECT_EQ(Indexes().size(), 2u);
    for (const auto& [path, seed, size] : {std::tuple{"a", 1, 60}, {"b", 2, 60}, {"c", 3, 40}})
        EXPECT_EQ(Stored(*manager, path), Content(seed, size)) << path;
    std::string name;
    uint32_t offset = 0, size = 0;
    ASSERT_TRUE(manager->Find("b", name, offset, size));
    EXPECT_EQ(name, PairName(1) + ".dat");
}

TEST_F(ManagerTest, ReplaceGoesToThePairThatStoresThePath) {
    SetMaxPairDataSizeForTesting(100);
    {
        auto manager = Open();
        ASSERT_TRUE(Add(*manager, "a", Content(1, 90)));
        ASSERT_TRUE(Add(*manager, "b", Content(2, 90)));
        ASSERT_TRUE(manager->WriteArchiveFiles(false, nullptr));
    }
    auto manager = Open();
    ASSERT_TRUE(manager->Delete("b", nullptr));
    const std::string source = Source("b2", Content(5, 50));
    {
        LogRecorder log;
        EXPECT_FALSE(manager->Add("a", &source, nullptr));
        EXPECT_TRUE(log.Contains("Filed already in archive"));
    }
    ASSERT_TRUE(manager->Add("b", &source, nullptr));
    ASSERT_TRUE(manager->WriteArchiveFiles(false, nullptr));
    EXPECT_EQ(Stored(*manager, "b"), Content(5, 50));
    EXPECT_EQ(Stored(*manager, "a"), Content(1, 90));
    std::vector<std::string> contents;
    manager->GetContents(contents);
    EXPECT_EQ(std::count(contents.begin(), contents.end(), "b"), 1);
}

TEST_F(ManagerTest, LockedPairDoesNotStopTheOtherPairs) {
    SetMaxPairDataSizeForTesting(100);
    auto manager = Open();
    ASSERT_TRUE(Add(*manager, "a", Content(1, 90)));
    ASSERT_TRUE(Add(*manager, "b", Content(2, 90)));
    ASSERT_TRUE(manager->WriteArchiveFiles(false, nullptr));
    std::string first;
    uint32_t offset = 0, size = 0;
    ASSERT_TRUE(manager->Find("a", first, offset, size));
    const uint32_t handle = manager->OpenFileHandle(first);
    ASSERT_NE(handle, 0u);
    // Both pairs change; the locked one cannot be written, the other is.
    ASSERT_TRUE(manager->Delete("a", nullptr));
    ASSERT_TRUE(manager->Delete("b", nullptr));
    {
        LogRecorder log;
        EXPECT_FALSE(manager->WriteArchiveFiles(false, nullptr));
        EXPECT_TRUE(log.Contains("Files in the archive are still locked."));
    }
    std::vector<std::string> contents;
    manager->GetContents(contents);
    EXPECT_EQ(contents, std::vector<std::string>{"a"});
    ASSERT_TRUE(manager->CloseFileHandle(first, handle));
    ASSERT_TRUE(manager->WriteArchiveFiles(false, nullptr));
    contents.clear();
    manager->GetContents(contents);
    EXPECT_TRUE(contents.empty());
}

TEST_F(ManagerTest, InterruptedCommitIsFinishedAtLoad) {
    {
        auto manager = Open();
        ASSERT_TRUE(Add(*manager, "a.txt", "old"));
        ASSERT_TRUE(manager->WriteArchiveFiles(false, nullptr));
    }
    // A new pair built under a temporary name and committed, then cut off after its data file
    // was renamed: the folder holds the new data file, the old index and the journal.
    const std::string index = folder + "/" + PairName(0);
    ArchiveFileBuilder builder(0);
    ASSERT_EQ(builder.Add("a.txt", Source("new", "new!"), 0, 0), S_OK);
    ASSERT_EQ(builder.Write(folder + "/TMPabc123", nullptr), S_OK);
    std::string journal;
    {
        std::vector<uint8_t> bytes;
        Vorn::Bytes::ByteWriter w(bytes);
        w.U32(0x314A4151);
        w.U32(9);
        w.Raw("TMPabc123", 9);
        w.U32(Crc32(0, bytes.data(), bytes.size()));
        journal.assign(bytes.begin(), bytes.end());
    }
    WriteFile(index + ".commit", journal);
    ASSERT_EQ(rename((folder + "/TMPabc123.dat").c_str(), (index + ".dat").c_str()), 0);
    WriteFile(folder + "/TMPzzz999", "leftover of a build that never committed");
    WriteFile(folder + "/TMPzzz999.dat", "leftover");

    auto manager = Open();
    EXPECT_EQ(Stored(*manager, "a.txt"), "new!");
    EXPECT_FALSE(Exists(index + ".commit"));
    EXPECT_FALSE(Exists(folder + "/TMPabc123"));
    EXPECT_FALSE(Exists(folder + "/TMPzzz999"));
    EXPECT_FALSE(Exists(folder + "/TMPzzz999.dat"));
}

TEST_F(ManagerTest, FailedRenamesOfACommitAreUndoneOrFinished) {
    auto manager = Open();
    ASSERT_TRUE(Add(*manager, "a.txt", "alpha"));
    const std::string index = folder + "/" + PairName(0);
    // The data file's place is taken by a folder: nothing is replaced, the queue stays.
    QuorTest::MakeDirs(index + ".dat");
    {
        LogRecorder log;
        EXPECT_FALSE(manager->WriteArchiveFiles(false, nullptr));
        EXPECT_TRUE(log.Contains("Failed to rename built archive to replace existing one"));
    }
    EXPECT_FALSE(Exists(index + ".commit"));
    ASSERT_EQ(rmdir((index + ".dat").c_str()), 0);
    // The index file's place is taken: the data file is in place, the commit stays unfinished.
    QuorTest::MakeDirs(index);
    {
        LogRecorder log;
        EXPECT_FALSE(manager->WriteArchiveFiles(false, nullptr));
    }
    EXPECT_TRUE(Exists(index + ".commit"));
    EXPECT_EQ(Stored(*manager, "a.txt"), "<absent>");
    ASSERT_EQ(rmdir(index.c_str()), 0);
    // The next write finishes the commit and reads the pair.
    ASSERT_TRUE(manager->WriteArchiveFiles(false, nullptr));
    EXPECT_FALSE(Exists(index + ".commit"));
    EXPECT_EQ(Stored(*manager, "a.txt"), "alpha");
    for (const std::string& name : FolderEntries(folder)) EXPECT_FALSE(PairCommit::IsTemporaryName(name.substr(0, 9))) << name;
}

TEST_F(ManagerTest, ForeignJournalIsKeptAndTheOldPairStands) {
    {
        auto manager = Open();
        ASSERT_TRUE(Add(*manager, "a.txt", "old"));
        ASSERT_TRUE(manager->WriteArchiveFiles(false, nullptr));
    }
    // Journals are put in place whole, so a torn one is not ours: kept, never written over.
    const std::string journal = folder + "/" + PairName(0) + ".commit";
    const std::string torn("QAJ1\x09\0\0\0TMPab", 13);
    WriteFile(journal, torn);
    WriteFile(folder + "/TMPab1234", "half-built index");
    auto manager = Open();
    EXPECT_EQ(Stored(*manager, "a.txt"), "old");
    EXPECT_FALSE(Exists(folder + "/TMPab1234"));
    ASSERT_TRUE(manager->Delete("a.txt", nullptr));
    {
        LogRecorder log;
        EXPECT_FALSE(manager->WriteArchiveFiles(false, nullptr));
    }
    EXPECT_EQ(ReadFile(journal), torn);
    for (const std::string& name : FolderEntries(folder)) EXPECT_FALSE(PairCommit::IsTemporaryName(name.substr(0, 9))) << name;
}

// Another writer of the folder (another process's, played by a manager of its own) never waits
// here: the writer lock is taken without waiting.
class NoLockWait {
public:
    NoLockWait() : m_Wait(Manager::GetLockWait()) { Manager::SetLockWait(std::chrono::milliseconds(0)); }
    ~NoLockWait() { Manager::SetLockWait(m_Wait); }

private:
    std::chrono::milliseconds m_Wait;
};

// A reader keeps no writer out, and its next look-ups answer from what the writer committed: a
// file the writer removed is gone (its old offsets now point at other bytes), one it added is
// found, and the reader's handle on the pair as it read it can still be given back.
TEST_F(ManagerTest, AReaderKeepsNoWriterOutAndSeesItsCommits) {
    NoLockWait noWait;
    WriteFirstPair();
    auto reader = Open();
    std::string name;
    const uint32_t handle = Hold(*reader, "a", name);
    ASSERT_NE(handle, 0u);
    EXPECT_TRUE(WriterLockFree());
    {
        Manager writer;
        ASSERT_TRUE(writer.SetRootDirectory(folder, ""));
        ASSERT_TRUE(writer.Delete("a", nullptr));
        ASSERT_TRUE(Add(writer, "b", Content(2, 40)));
        ASSERT_TRUE(writer.WriteArchiveFiles(false, nullptr));
        ASSERT_TRUE(Add(writer, "c", Content(3, 10)));
    }
    EXPECT_EQ(Stored(*reader, "a"), "<absent>");
    EXPECT_EQ(Stored(*reader, "b"), Content(2, 40));
    EXPECT_EQ(Stored(*reader, "c"), Content(3, 10));
    EXPECT_TRUE(reader->CloseFileHandle(name, handle));
    EXPECT_FALSE(reader->CloseFileHandle(name, handle));
    EXPECT_TRUE(WriterLockFree());
}

// Two writers exclude each other from the first change through the commit; the one that takes
// the lock later builds on what the first committed, not on the pairs as it read them before.
TEST_F(ManagerTest, OneWriterAtATimeAndTheLaterOneBuildsOnTheFirst) {
    NoLockWait noWait;
    WriteFirstPair();
    Manager first, second;
    ASSERT_TRUE(first.SetRootDirectory(folder, ""));
    ASSERT_TRUE(second.SetRootDirectory(folder, ""));
    ASSERT_TRUE(Add(first, "b", Content(2, 40)));
    EXPECT_FALSE(WriterLockFree());
    {
        LogRecorder log;
        EXPECT_FALSE(Add(second, "c", Content(3, 40)));
        EXPECT_TRUE(second.IsFolderBusy());
        EXPECT_TRUE(log.Contains("is in use by another writer"));
    }
    ASSERT_TRUE(first.WriteArchiveFiles(false, nullptr));
    EXPECT_TRUE(WriterLockFree());  // let go once everything queued is committed
    ASSERT_TRUE(Add(second, "c", Content(3, 40)));
    EXPECT_FALSE(second.IsFolderBusy());
    ASSERT_TRUE(second.WriteArchiveFiles(false, nullptr));
    EXPECT_TRUE(WriterLockFree());

    Manager third;
    ASSERT_TRUE(third.SetRootDirectory(folder, ""));
    std::vector<std::string> contents;
    third.GetContents(contents);
    std::sort(contents.begin(), contents.end());
    EXPECT_EQ(contents, (std::vector<std::string>{"a", "b", "c"}));
    for (const auto& [path, seed] : {std::pair{"a", 1}, {"b", 2}, {"c", 3}})
        EXPECT_EQ(Stored(third, path), Content(seed, 40)) << path;
}

// A write that fails keeps the lock while its changes stay queued; dropping them lets it go.
TEST_F(ManagerTest, AFailedWriteKeepsTheLockUntilItsChangesAreDropped) {
    auto manager = Open();
    ASSERT_TRUE(Add(*manager, "a", Content(1, 40)));
    QuorTest::MakeDirs(folder + "/" + PairName(0) + ".dat");
    {
        LogRecorder log;
        EXPECT_FALSE(manager->WriteArchiveFiles(false, nullptr));
    }
    EXPECT_FALSE(WriterLockFree());
    manager->DiscardChanges();
    EXPECT_TRUE(WriterLockFree());
}

// Loading while another writer holds the folder tidies nothing and reads the sound pairs; the
// next load with the lock free tidies, and lets the lock go again.
TEST_F(ManagerTest, LoadingTidiesOnlyUnderTheWriterLock) {
    NoLockWait noWait;
    WriteFirstPair();
    const std::string index = folder + "/" + PairName(0);
    ArchiveFileBuilder empty(0);
    ASSERT_EQ(empty.Write(folder + "/Empty.zef", nullptr), S_OK);
    std::string damaged = ReadFile(index);
    damaged[damaged.size() / 2] ^= 0x10;
    WriteFile(folder + "/Damaged.zef", damaged);
    WriteFile(folder + "/Damaged.zef.dat", ReadFile(index + ".dat"));
    WriteFile(folder + "/TMPabc123", "leftover");
    auto sorted = [this] {
        std::vector<std::string> names = FolderEntries(folder);
        std::sort(names.begin(), names.end());
        return names;
    };
    const std::vector<std::string> before = sorted();
    {
        FolderLock other;
        ASSERT_EQ(other.Acquire(folder, std::chrono::milliseconds(0)), FolderLock::Result::kLocked);
        LogRecorder log(Log::WARNING);
        Manager reader;
        ASSERT_TRUE(reader.SetRootDirectory(folder, ""));
        EXPECT_EQ(Stored(reader, "a"), Content(1, 40));
        EXPECT_EQ(sorted(), before);
        EXPECT_FALSE(log.Contains("in use by another writer"));  // a reader does not wait or complain
    }
    {
        Manager next;
        ASSERT_TRUE(next.SetRootDirectory(folder, ""));
        EXPECT_TRUE(WriterLockFree());
        EXPECT_EQ(Stored(next, "a"), Content(1, 40));
    }
    EXPECT_FALSE(Exists(folder + "/Empty.zef"));
    EXPECT_FALSE(Exists(folder + "/TMPabc123"));
    EXPECT_FALSE(Exists(folder + "/Damaged.zef"));
    EXPECT_EQ(ReadFile(folder + "/Damaged.zef.damaged"), damaged);
}

TEST_F(ManagerTest, FailedWriteIsNotRetriedWhenTheManagerEnds) {
    {
        auto manager = Open();
        ASSERT_TRUE(Add(*manager, "a.txt", "alpha"));
        QuorTest::MakeDirs(folder + "/" + PairName(0) + ".dat");
        LogRecorder log;
        EXPECT_FALSE(manager->WriteArchiveFiles(false, nullptr));
        // The obstacle goes, but the caller was told the write failed: nothing is written later.
        ASSERT_EQ(rmdir((folder + "/" + PairName(0) + ".dat").c_str()), 0);
    }
    EXPECT_TRUE(Indexes().empty());
}

// What a failed job queued is dropped: the pairs answer from disk again at once, a reader's
// handle stays, and nothing of the dropped batch is written later.
TEST_F(ManagerTest, DiscardedChangesLeaveThePairsAsOnDisk) {
    {
        auto manager = Open();
        ASSERT_TRUE(Add(*manager, "a", Content(1, 40)));
        ASSERT_TRUE(manager->WriteArchiveFiles(false, nullptr));
    }
    {
        auto manager = Open();
        std::string name;
        const uint32_t handle = Hold(*manager, "a", name);
        ASSERT_NE(handle, 0u);
        ASSERT_TRUE(manager->Delete("a", nullptr));
        ASSERT_TRUE(Add(*manager, "b", Content(2, 40)));
        EXPECT_EQ(Stored(*manager, "a"), "<absent>");  // not searchable while changed
        manager->DiscardChanges();
        EXPECT_EQ(Stored(*manager, "a"), Content(1, 40));
        EXPECT_EQ(Stored(*manager, "b"), "<absent>");
        EXPECT_TRUE(manager->CloseFileHandle(name, handle));
        ASSERT_TRUE(Add(*manager, "c", Content(3, 40)));  // taken after the discard: written
    }
    auto manager = Open();
    std::vector<std::string> contents;
    manager->GetContents(contents);
    std::sort(contents.begin(), contents.end());
    EXPECT_EQ(contents, (std::vector<std::string>{"a", "c"}));
}

// After a write its caller was told failed, changes queued later are still written when the
// manager ends: into the pair that failed (which then carries its old batch too) and into others.
TEST_F(ManagerTest, ChangesQueuedAfterAFailedWriteAreWrittenWhenTheManagerEnds) {
    SetMaxPairDataSizeForTesting(100);
    {
        auto manager = Open();
        ASSERT_TRUE(Add(*manager, "a", Content(1, 40)));
        QuorTest::MakeDirs(folder + "/" + PairName(0) + ".dat");
        LogRecorder log;
        EXPECT_FALSE(manager->WriteArchiveFiles(false, nullptr));
        ASSERT_EQ(rmdir((folder + "/" + PairName(0) + ".dat").c_str()), 0);
        ASSERT_TRUE(Add(*manager, "b", Content(2, 40)));  // the same pair
        ASSERT_TRUE(Add(*manager, "c", Content(3, 90)));  // a new pair
    }
    auto manager = Open();
    for (const auto& [path, seed, size] : {std::tuple{"a", 1, 40}, {"b", 2, 40}, {"c", 3, 90}})
        EXPECT_EQ(Stored(*manager, path), Content(seed, size)) << path;
}

// A failed batch stays abandoned while only another pair takes later changes.
TEST_F(ManagerTest, OnlyThePairWhoseWriteFailedIsLeftUnwritten) {
    SetMaxPairDataSizeForTesting(100);
    {
        auto manager = Open();
        ASSERT_TRUE(Add(*manager, "a", Content(1, 90)));
        QuorTest::MakeDirs(folder + "/" + PairName(0) + ".dat");
        LogRecorder log;
        EXPECT_FALSE(manager->WriteArchiveFiles(false, nullptr));
        ASSERT_EQ(rmdir((folder + "/" + PairName(0) + ".dat").c_str()), 0);
        ASSERT_TRUE(Add(*manager, "b", Content(2, 90)));  // no room left in the first pair
    }
    EXPECT_EQ(Indexes(), std::vector<std::string>{PairName(1)});
    auto manager = Open();
    EXPECT_EQ(Stored(*manager, "a"), "<absent>");
    EXPECT_EQ(Stored(*manager, "b"), Content(2, 90));
}

// Files written straight into the archive (BeginAddInPlace / EndAddInPlace).
class InPlaceTest : public ManagerTest {
protected:
    // Writes `written` into the archive as path, declared as `size` bytes; returns End's result
    // (false as well when Begin refused).
    bool WriteInPlace(IManager& manager, const std::string& path, const std::string& written, bool keep = true,
                      uint64_t size = UINT64_MAX) {
        const Vorn::UniqueFd fd = manager.BeginAddInPlace(path, size == UINT64_MAX ? written.size() : size);
        if (!fd.IsValid()) return false;
        EXPECT_EQ(::write(fd.Get(), written.data(), written.size()), static_cast<ssize_t>(written.size()));
        return manager.EndAddInPlace(path, keep, nullptr);
    }
    // The first pair's "a", with "b" written in place and "c" queued beside it.
    std::shared_ptr<IManager> OpenWithTwoQueued() {
        WriteFirstPair();
        auto manager = Open();
        EXPECT_TRUE(WriteInPlace(*manager, "b", Content(2, 5000)));
        EXPECT_TRUE(Add(*manager, "c", Content(3, 700)));
        return manager;
    }
    void ExpectTheQueuedStored(IManager& manager) {
        for (const auto& [path, bytes] : {std::pair<std::string, std::string>{"a", Content(1, 40)},
                                          {"b", Content(2, 5000)},
                                          {"c", Content(3, 700)}})
            EXPECT_EQ(Stored(manager, path), bytes) << path;
    }
    // Faults under which the next commit of the first pair is made but cannot be finished: the data
    // file's rename is refused once (the commit is taken back, and its journal's removal refused),
    // the index's every time.
    void LeaveTheCommitUnfinished(QuorTest::FaultInjectingFileSystem& faults) const {
        const std::string index = folder + "/" + PairName(0);
        faults.Fail(QuorTest::FileCall::Rename, QuorTest::PathMatch::Exactly(index + ".dat"), EIO);
        faults.Fail(QuorTest::FileCall::Unlink, QuorTest::PathMatch::Exactly(index + ".commit"), EIO);
        faults.Fail(QuorTest::FileCall::Rename, QuorTest::PathMatch::Exactly(index), EIO,
                    QuorTest::FaultInjectingFileSystem::kEvery);
    }
    // Entries of the folder besides the pairs and the writer's lock file: what writes that have not
    // committed hold.
    std::vector<std::string> Leftovers() const {
        std::vector<std::string> found;
        for (const std::string& name : FolderEntries(folder))
            if (!name.ends_with(".zef") && !name.ends_with(".zef.dat") && name != FolderLock::kFileName)
                found.push_back(name);
        return found;
    }
};

TEST_F(InPlaceTest, StoredBesideCopiedFilesAndSeenOnlyOnceFlushed) {
    WriteFirstPair();
    const std::string data = folder + "/" + PairName(0) + ".dat";
    const std::string before = ReadFile(data);
    auto manager = Open();
    ASSERT_TRUE(Add(*manager, "b", Content(2, 3000)));
    ASSERT_TRUE(WriteInPlace(*manager, "c", Content(3, 70000)));
    ASSERT_TRUE(WriteInPlace(*manager, "empty", ""));
    EXPECT_FALSE(WriteInPlace(*manager, "dropped", Content(4, 500), false));
    ASSERT_TRUE(WriteInPlace(*manager, "d", Content(5, 9000)));
    // Nothing a reader opens changed yet.
    EXPECT_EQ(ReadFile(data), before);
    EXPECT_EQ(Indexes(), std::vector<std::string>{PairName(0)});
    ASSERT_TRUE(manager->WriteArchiveFiles(false, nullptr));
    EXPECT_TRUE(Leftovers().empty());
    manager.reset();
    manager = Open();
    for (const auto& [path, bytes] : {std::pair<std::string, std::string>{"a", Content(1, 40)},
                                      {"b", Content(2, 3000)},
                                      {"c", Content(3, 70000)},
                                      {"empty", ""},
                                      {"d", Content(5, 9000)},
                                      {"dropped", "<absent>"}})
        EXPECT_EQ(Stored(*manager, path), bytes) << path;
}

TEST_F(InPlaceTest, RefusedOrMiswrittenFilesAreNeverStored) {
    WriteFirstPair();
    SetMaxPairDataSizeForTesting(1000);
    const struct {
        const char* what;
        const char* path;
        std::string written;
        uint64_t declared;
        const char* logged;  // null: refused at the begin without a word (Add says why)
    } cases[] = {
        {"shorter than declared", "short", Content(2, 99), 100, "instead of 100"},
        {"longer than declared", "long", Content(3, 101), 100, "instead of 100"},
        {"already stored", "a", Content(4, 10), 10, nullptr},
        {"already queued", "queued", Content(5, 10), 10, nullptr},
        {"larger than a pair", "huge", Content(6, 1001), 1001, nullptr},
        {"invalid name", "bad//name", Content(6, 10), 10, nullptr},
    };
    auto manager = Open();
    ASSERT_TRUE(Add(*manager, "queued", Content(7, 10)));
    for (const auto& c : cases) {
        LogRecorder log;
        EXPECT_FALSE(WriteInPlace(*manager, c.path, c.written, true, c.declared)) << c.what;
        if (c.logged)
            EXPECT_TRUE(log.Contains(c.logged)) << c.what << "\n" << log.All();
        else
            EXPECT_EQ(log.All(), "") << c.what;
    }
    // One file at a time, and its pair is not rewritten under it nor is its path queued meanwhile.
    const Vorn::UniqueFd fd = manager->BeginAddInPlace("open", 3);
    ASSERT_TRUE(fd.IsValid());
    {
        LogRecorder log;
        EXPECT_FALSE(manager->BeginAddInPlace("second", 3).IsValid());
        EXPECT_FALSE(manager->WriteArchiveFiles(false, nullptr));
        EXPECT_TRUE(log.Contains("still being written"));
        EXPECT_FALSE(Add(*manager, "open", "xyz"));
        EXPECT_TRUE(log.Contains("File already marked for adding"));
    }
    ASSERT_EQ(::write(fd.Get(), "abc", 3), 3);
    ASSERT_TRUE(manager->EndAddInPlace("open", true, nullptr));
    ASSERT_TRUE(manager->WriteArchiveFiles(false, nullptr));
    EXPECT_TRUE(Leftovers().empty());
    std::vector<std::string> contents;
    manager->GetContents(contents);
    std::sort(contents.begin(), contents.end());
    EXPECT_EQ(contents, (std::vector<std::string>{"a", "open", "queued"}));
    EXPECT_EQ(Stored(*manager, "open"), "abc");
}

TEST_F(InPlaceTest, PairsStayWithinTheirSizeLimit) {
    SetMaxPairDataSizeForTesting(100);
    auto manager = Open();
    ASSERT_TRUE(WriteInPlace(*manager, "a", Content(1, 60)));
    ASSERT_TRUE(WriteInPlace(*manager, "b", Content(2, 60)));  // no room in the first pair
    ASSERT_TRUE(Add(*manager, "c", Content(3, 30)));           // fits the first pair
    ASSERT_TRUE(WriteInPlace(*manager, "d", Content(4, 10)));  // fills the first pair
    ASSERT_TRUE(WriteInPlace(*manager, "e", Content(5, 40)));  // the second
    ASSERT_TRUE(manager->WriteArchiveFiles(false, nullptr));
    EXPECT_EQ(Indexes().size(), 2u);
    for (const auto& [path, seed, size] :
         {std::tuple{"a", 1, 60}, {"b", 2, 60}, {"c", 3, 30}, {"d", 4, 10}, {"e", 5, 40}})
        EXPECT_EQ(Stored(*manager, path), Content(seed, size)) << path;
    std::string name;
    uint32_t offset = 0, size = 0;
    ASSERT_TRUE(manager->Find("b", name, offset, size));
    EXPECT_EQ(name, PairName(1) + ".dat");
    ASSERT_TRUE(manager->Find("d", name, offset, size));
    EXPECT_EQ(name, PairName(0) + ".dat");
}

TEST_F(InPlaceTest, KeptThroughARefusedRewriteAndGoneWithDiscardedChanges) {
    WriteFirstPair();
    {
        auto manager = Open();
        std::string name;
        const uint32_t handle = Hold(*manager, "a", name);
        ASSERT_NE(handle, 0u);
        ASSERT_TRUE(WriteInPlace(*manager, "b", Content(2, 5000)));
        {
            LogRecorder log;
            EXPECT_FALSE(manager->WriteArchiveFiles(false, nullptr));
            EXPECT_TRUE(log.Contains("Files in the archive are still locked."));
        }
        EXPECT_TRUE(manager->CloseFileHandle(name, handle));
        ASSERT_TRUE(WriteInPlace(*manager, "c", Content(3, 700)));
        ASSERT_TRUE(manager->WriteArchiveFiles(false, nullptr));
        EXPECT_EQ(Stored(*manager, "b"), Content(2, 5000));
        EXPECT_EQ(Stored(*manager, "c"), Content(3, 700));
    }
    {
        auto manager = Open();
        ASSERT_TRUE(WriteInPlace(*manager, "d", Content(4, 800)));
        const Vorn::UniqueFd fd = manager->BeginAddInPlace("e", 10);
        ASSERT_TRUE(fd.IsValid());
        ASSERT_EQ(::write(fd.Get(), "0123456789", 10), 10);
        EXPECT_FALSE(Leftovers().empty());
        manager->DiscardChanges();
        EXPECT_FALSE(manager->EndAddInPlace("e", true, nullptr));
        EXPECT_TRUE(Leftovers().empty());
        EXPECT_TRUE(WriterLockFree());
        ASSERT_TRUE(manager->WriteArchiveFiles(false, nullptr));
    }
    auto manager = Open();
    std::vector<std::string> contents;
    manager->GetContents(contents);
    std::sort(contents.begin(), contents.end());
    EXPECT_EQ(contents, (std::vector<std::string>{"a", "b", "c"}));
}

// A commit that never starts (its journal, or the rename of its data file, refused by a full disk)
// leaves the pair as a failed write of copied files does: its changes queued, the writer's lock
// held, and the next flush writes them, the files written in place included.
TEST_F(InPlaceTest, ACommitThatNeverStartsIsRetriedWithTheFilesWrittenInPlace) {
    WriteFirstPair();
    const struct {
        const char* what;
        std::string refusedRename;  // how the target of the refused rename ends
    } cases[] = {
        {"journal refused", PairName(0) + ".commit"},
        {"data file not renamed", PairName(0) + ".dat"},
    };
    auto manager = Open();
    ASSERT_TRUE(WriteInPlace(*manager, "b", Content(2, 5000)));
    ASSERT_TRUE(Add(*manager, "c", Content(3, 700)));
    int seed = 4;
    std::vector<std::string> placed;
    for (const auto& c : cases) {
        {
            QuorTest::FaultInjectingFileSystem faults;
            const size_t rule =
                faults.Fail(QuorTest::FileCall::Rename, QuorTest::PathMatch::EndingWith(c.refusedRename), ENOSPC);
            Vorn::ScopedOsContext os({.files = &faults});
            LogRecorder log;
            EXPECT_FALSE(manager->WriteArchiveFiles(false, nullptr)) << c.what;
            EXPECT_EQ(faults.Failed(rule), 1u) << c.what;
            EXPECT_TRUE(log.Contains("Failed to rename built archive to replace existing one")) << c.what;
        }
        EXPECT_FALSE(WriterLockFree()) << c.what;
        EXPECT_FALSE(Exists(folder + "/" + PairName(0) + ".commit")) << c.what;
        // Still taking files, in place and copied.
        const std::string path = "in" + std::to_string(seed);
        ASSERT_TRUE(WriteInPlace(*manager, path, Content(seed, 300 + seed))) << c.what;
        placed.push_back(path);
        ++seed;
    }
    ASSERT_TRUE(manager->WriteArchiveFiles(false, nullptr));
    EXPECT_TRUE(WriterLockFree());
    EXPECT_TRUE(Leftovers().empty());
    manager.reset();
    manager = Open();
    EXPECT_EQ(Stored(*manager, "a"), Content(1, 40));
    EXPECT_EQ(Stored(*manager, "b"), Content(2, 5000));
    EXPECT_EQ(Stored(*manager, "c"), Content(3, 700));
    for (size_t i = 0; i < placed.size(); ++i)
        EXPECT_EQ(Stored(*manager, placed[i]), Content(4 + int(i), 300 + 4 + int(i))) << placed[i];
}

// A commit taken back after its journal was put in place (here: the data file's rename refused).
// A journal that cannot be removed keeps the commit, whose build it names whole: the next write
// puts that build in place, reads it, and builds on it; until it can, every write and every
// discard fails and the folder stays locked. A removal that was refused a flush may come back
// after a power cut: the build goes, and the files written into it are not stored. In both cases a
// process killed while it writes the next file leaves the folder sound.
TEST_F(InPlaceTest, ACommitTakenBackAfterItsJournalKeepsItsBuildWholeOrNotAtAll) {
    const struct {
        const char* what;
        bool journalStays;
        const char* logged;  // by the write that is taken back
        std::vector<std::string> afterKill;
    } cases[] = {
        {"journal and build cannot be removed", true, "the rewrite it names is finished later", {"a", "b", "c"}},
        {"journal removed, the removal not flushed", false, "it is not stored", {"a"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(folder);
        std::filesystem::remove_all(dir / "killed");
        WriteFirstPair();
        const std::string journal = folder + "/" + PairName(0) + ".commit";
        auto manager = Open();
        ASSERT_TRUE(WriteInPlace(*manager, "b", Content(2, 5000)));
        ASSERT_TRUE(Add(*manager, "c", Content(3, 700)));
        {
            QuorTest::FaultInjectingFileSystem faults;
            const size_t renamed =
                faults.Fail(QuorTest::FileCall::Rename, QuorTest::PathMatch::EndingWith(PairName(0) + ".dat"), ENOSPC);
            // Journal first, then the folder's flush after its removal.
            const size_t refused =
                c.journalStays
                    ? faults.Fail(QuorTest::FileCall::Unlink, QuorTest::PathMatch::Below(folder), EIO,
                                  QuorTest::FaultInjectingFileSystem::kEvery)
                    : faults.Fail(QuorTest::FileCall::Sync, QuorTest::PathMatch::Exactly(folder), EIO, 2);
            Vorn::ScopedOsContext os({.files = &faults});
            LogRecorder log;
            EXPECT_FALSE(manager->WriteArchiveFiles(false, nullptr));
            EXPECT_EQ(faults.Failed(renamed), 1u);
            EXPECT_GE(faults.Failed(refused), 1u);
            EXPECT_TRUE(log.Contains(c.logged)) << log.All();
        }
        EXPECT_EQ(Exists(journal), c.journalStays);
        if (c.journalStays) {
            // The build cannot be put in place yet, then its journal cannot be removed.
            for (const auto& [call, match] :
                 {std::pair{QuorTest::FileCall::Rename, QuorTest::PathMatch::EndingWith(PairName(0) + ".dat")},
                  {QuorTest::FileCall::Unlink, QuorTest::PathMatch::Exactly(journal)}}) {
                QuorTest::FaultInjectingFileSystem faults;
                const size_t refused = faults.Fail(call, match, EIO, QuorTest::FaultInjectingFileSystem::kEvery);
                Vorn::ScopedOsContext os({.files = &faults});
                EXPECT_FALSE(manager->WriteArchiveFiles(false, nullptr));
                manager->DiscardChanges();
                EXPECT_GE(faults.Failed(refused), 2u);
                EXPECT_TRUE(Exists(journal));
                EXPECT_FALSE(WriterLockFree());
            }
        }
        // One more file begun in place, and the process killed while it is written.
        const Vorn::UniqueFd fd = manager->BeginAddInPlace("x", 3);
        ASSERT_TRUE(fd.IsValid());
        ASSERT_EQ(::write(fd.Get(), "xy", 2), 2);
        const std::string killed = dir / "killed";
        std::filesystem::copy(folder, killed, std::filesystem::copy_options::recursive);
        ASSERT_EQ(::write(fd.Get(), "z", 1), 1);
        ASSERT_TRUE(manager->EndAddInPlace("x", true, nullptr));
        EXPECT_TRUE(manager->WriteArchiveFiles(false, nullptr));
        EXPECT_FALSE(Exists(journal));
        EXPECT_TRUE(Leftovers().empty());
        manager.reset();
        manager = Open();
        for (const auto& [path, bytes] :
             {std::pair<std::string, std::string>{"a", Content(1, 40)},
              {"b", c.journalStays ? Content(2, 5000) : std::string("<absent>")},
              {"c", Content(3, 700)},
              {"x", "xyz"}})
            EXPECT_EQ(Stored(*manager, path), bytes) << path;
        manager.reset();

        std::filesystem::remove_all(folder);
        std::filesystem::rename(killed, folder);
        {
            LogRecorder log;
            manager = Open();
            EXPECT_FALSE(log.Contains("does not match its data file")) << log.All();
        }
        std::vector<std::string> contents;
        manager->GetContents(contents);
        EXPECT_EQ(contents, c.afterKill);
        for (const std::string& path : c.afterKill) EXPECT_NE(Stored(*manager, path), "<absent>") << path;
        EXPECT_EQ(Stored(*manager, "a"), Content(1, 40));
        manager.reset();
    }
}

// A load that cannot finish a rewrite its journal shows (here: the index's rename refused, after
// the data file's went through) reads nothing of that pair, whose index and data file are of two
// writes, and keeps the build the journal names; the next load finishes it.
TEST_F(InPlaceTest, ALoadThatCannotFinishARewriteLeavesThePairAndItsBuildForTheNext) {
    auto manager = OpenWithTwoQueued();
    {
        QuorTest::FaultInjectingFileSystem faults;
        LeaveTheCommitUnfinished(faults);
        Vorn::ScopedOsContext os({.files = &faults});
        EXPECT_FALSE(manager->WriteArchiveFiles(false, nullptr));
        manager.reset();
        manager = Open();
        EXPECT_EQ(Stored(*manager, "a"), "<absent>");
        EXPECT_EQ(Stored(*manager, "b"), "<absent>");
        // Nothing changes meanwhile: a path of the pair not read would be stored twice.
        {
            LogRecorder log;
            EXPECT_FALSE(Add(*manager, "a", Content(9, 40)));
            EXPECT_FALSE(manager->Delete("b", nullptr));
            EXPECT_TRUE(log.Contains("interrupted rewrite")) << log.All();
        }
        EXPECT_TRUE(manager->WriteArchiveFiles(false, nullptr));
        EXPECT_TRUE(WriterLockFree());
        manager.reset();
    }
    EXPECT_FALSE(Leftovers().empty());
    manager = Open();
    ExpectTheQueuedStored(*manager);
    manager.reset();
    EXPECT_EQ(Leftovers(), std::vector<std::string>{});
}

// A writer whose own commit was made but cannot be finished yet (its journal stays, the index's
// rename is refused) knows the pair only as it was: no path is changed until the commit is
// finished, else a path of it would be stored twice or a deletion lost.
TEST_F(InPlaceTest, NoPathChangesWhileTheWritersOwnCommitCannotBeFinished) {
    auto manager = OpenWithTwoQueued();
    {
        QuorTest::FaultInjectingFileSystem faults;
        LeaveTheCommitUnfinished(faults);
        Vorn::ScopedOsContext os({.files = &faults});
        EXPECT_FALSE(manager->WriteArchiveFiles(false, nullptr));
        const struct {
            const char* what;
            std::function<bool()> change;
        } changes[] = {
            {"add a path of the commit", [&] { return Add(*manager, "c", Content(9, 70)); }},
            {"delete a path only the commit holds", [&] { return manager->Delete("b", nullptr); }},
            {"write a path of the commit in place", [&] { return WriteInPlace(*manager, "c", Content(9, 70)); }},
        };
        for (const auto& c : changes) {
            LogRecorder log;
            EXPECT_FALSE(c.change()) << c.what;
            EXPECT_TRUE(log.Contains("interrupted rewrite")) << c.what << "\n" << log.All();
        }
    }
    EXPECT_TRUE(manager->WriteArchiveFiles(false, nullptr));
    manager.reset();
    manager = Open();
    std::vector<std::string> contents;
    manager->GetContents(contents);
    std::sort(contents.begin(), contents.end());
    EXPECT_EQ(contents, (std::vector<std::string>{"a", "b", "c"}));
    ExpectTheQueuedStored(*manager);
}

// A manager that loaded while another writer held the folder read only its sound pairs and
// tidied nothing: its first change reads the folder again under the lock, and is refused while
// a rewrite found there cannot be finished; once it can, the same manager goes on.
TEST_F(InPlaceTest, AChangeAfterALoadThatCouldNotTidyReadsTheFolderAgainFirst) {
    auto manager = OpenWithTwoQueued();
    QuorTest::FaultInjectingFileSystem faults;
    LeaveTheCommitUnfinished(faults);
    {
        Vorn::ScopedOsContext os({.files = &faults});
        EXPECT_FALSE(manager->WriteArchiveFiles(false, nullptr));
        manager.reset();
    }
    {
        FolderLock other;
        ASSERT_EQ(other.Acquire(folder, std::chrono::milliseconds(0)), FolderLock::Result::kLocked);
        manager = Open();
    }
    {
        Vorn::ScopedOsContext os({.files = &faults});
        LogRecorder log;
        EXPECT_FALSE(Add(*manager, "a", Content(9, 40)));
        EXPECT_FALSE(manager->Delete("a", nullptr));
        EXPECT_FALSE(manager->WriteArchiveFiles(true, nullptr));
        EXPECT_FALSE(manager->BeginAddInPlace("z", 3).IsValid());
        EXPECT_TRUE(log.Contains("interrupted rewrite")) << log.All();
        EXPECT_TRUE(WriterLockFree());
    }
    EXPECT_FALSE(Add(*manager, "a", Content(9, 40)));  // stored already
    EXPECT_TRUE(Add(*manager, "d", Content(4, 10)));
    EXPECT_TRUE(manager->WriteArchiveFiles(false, nullptr));
    EXPECT_TRUE(WriterLockFree());
    for (const auto& [path, bytes] : {std::pair<std::string, std::string>{"a", Content(1, 40)},
                                      {"b", Content(2, 5000)},
                                      {"c", Content(3, 700)},
                                      {"d", Content(4, 10)}})
        EXPECT_EQ(Stored(*manager, path), bytes) << path;
}

// A commit whose journal cannot be removed after both renames is in place but not finished: the
// write says so, and the next one removes the journal and builds on the pair.
TEST_F(InPlaceTest, ACommitWhoseJournalStaysAfterItsRenamesIsFinishedByTheNextWrite) {
    WriteFirstPair();
    const std::string journal = folder + "/" + PairName(0) + ".commit";
    auto manager = Open();
    ASSERT_TRUE(WriteInPlace(*manager, "b", Content(2, 500)));
    {
        QuorTest::FaultInjectingFileSystem faults;
        const size_t refused = faults.Fail(QuorTest::FileCall::Unlink, QuorTest::PathMatch::Exactly(journal), EIO);
        Vorn::ScopedOsContext os({.files = &faults});
        EXPECT_FALSE(manager->WriteArchiveFiles(false, nullptr));
        EXPECT_EQ(faults.Failed(refused), 1u);
    }
    EXPECT_TRUE(Exists(journal));
    ASSERT_TRUE(Add(*manager, "c", Content(3, 70)));
    EXPECT_TRUE(manager->WriteArchiveFiles(false, nullptr));
    EXPECT_FALSE(Exists(journal));
    manager.reset();
    manager = Open();
    for (const auto& [path, bytes] : {std::pair<std::string, std::string>{"a", Content(1, 40)},
                                      {"b", Content(2, 500)},
                                      {"c", Content(3, 70)}})
        EXPECT_EQ(Stored(*manager, path), bytes) << path;
}

// The room a file being written in place was begun with is its own until its end: a file added
// meanwhile goes to another pair, and every pair still flushes within its limit.
TEST_F(InPlaceTest, AFileBeingWrittenInPlaceHoldsItsRoom) {
    SetMaxPairDataSizeForTesting(100);
    auto manager = Open();
    const Vorn::UniqueFd fd = manager->BeginAddInPlace("x", 60);
    ASSERT_TRUE(fd.IsValid());
    ASSERT_TRUE(Add(*manager, "y", Content(2, 60)));
    const std::string x = Content(1, 60);
    ASSERT_EQ(::write(fd.Get(), x.data(), x.size()), 60);
    ASSERT_TRUE(manager->EndAddInPlace("x", true, nullptr));
    ASSERT_TRUE(manager->WriteArchiveFiles(false, nullptr));
    EXPECT_EQ(Indexes().size(), 2u);
    EXPECT_EQ(Stored(*manager, "x"), x);
    EXPECT_EQ(Stored(*manager, "y"), Content(2, 60));
    ASSERT_TRUE(Add(*manager, "z", Content(3, 40)));
    EXPECT_TRUE(manager->WriteArchiveFiles(false, nullptr));
    EXPECT_TRUE(WriterLockFree());
}

// Passes every call through; each removal of a file notes whether the archive folder's writer
// lock was free at that moment.
class LockWatch final : public Quor::Platform::IFileSystemCalls {
public:
    explicit LockWatch(std::string folder) : m_Folder(std::move(folder)) {}
    int Open(const char* path, int flags, mode_t mode) override { return m_Inner.Open(path, flags, mode); }
    int OpenAt(int folder, const char* name, int flags, mode_t mode) override {
        return m_Inner.OpenAt(folder, name, flags, mode);
    }
    FILE* FOpen(const char* path, const char* mode) override { return m_Inner.FOpen(path, mode); }
    ssize_t Write(int fd, const void* data, size_t size) override { return m_Inner.Write(fd, data, size); }
    ssize_t PWrite(int fd, const void* data, size_t size, off_t offset) override {
        return m_Inner.PWrite(fd, data, size, offset);
    }
    size_t FWrite(const void* data, size_t size, size_t count, FILE* stream) override {
        return m_Inner.FWrite(data, size, count, stream);
    }
    int Rename(const char* from, const char* to) override { return m_Inner.Rename(from, to); }
    int RenameAt(int fromFolder, const char* from, int toFolder, const char* to, unsigned flags) override {
        return m_Inner.RenameAt(fromFolder, from, toFolder, to, flags);
    }
    int Fsync(int fd) override { return m_Inner.Fsync(fd); }
    int Fdatasync(int fd) override { return m_Inner.Fdatasync(fd); }
    int SyncFs(int fd) override { return m_Inner.SyncFs(fd); }
    int Mkdir(const char* path, mode_t mode) override { return m_Inner.Mkdir(path, mode); }
    int MkdirAt(int folder, const char* name, mode_t mode) override { return m_Inner.MkdirAt(folder, name, mode); }
    int Unlink(const char* path) override {
        FolderLock probe;
        (probe.TryAcquire(m_Folder) == FolderLock::Result::kLocked ? removedUnlocked : removedLocked).push_back(path);
        probe.Release();
        return m_Inner.Unlink(path);
    }
    int UnlinkAt(int folder, const char* name, int flags) override { return m_Inner.UnlinkAt(folder, name, flags); }

    std::vector<std::string> removedLocked, removedUnlocked;

private:
    std::string m_Folder;
    Quor::Platform::IFileSystemCalls& m_Inner = Quor::Platform::RealFileSystemCalls();
};

// A manager that goes (or turns to another folder) with files staged for a rewrite that did not
// happen removes them while the folder is still its own.
TEST_F(InPlaceTest, StagedFilesGoBeforeTheWriterLock) {
    WriteFirstPair();
    for (const bool turnsAway : {false, true}) {
        auto manager = Open();
        const Vorn::UniqueFd fd = manager->BeginAddInPlace("b", 3);
        ASSERT_TRUE(fd.IsValid());
        ASSERT_EQ(::write(fd.Get(), "bcd", 3), 3);
        LockWatch watch(folder);
        {
            Vorn::ScopedOsContext os({.files = &watch});
            LogRecorder quiet;
            if (turnsAway)
                ASSERT_TRUE(manager->SetRootDirectory(dir / "elsewhere", ""));
            else
                manager.reset();
        }
        EXPECT_EQ(watch.removedUnlocked, std::vector<std::string>{}) << turnsAway;
        EXPECT_FALSE(watch.removedLocked.empty()) << turnsAway;
        EXPECT_TRUE(Leftovers().empty()) << turnsAway;
        EXPECT_TRUE(WriterLockFree()) << turnsAway;
    }
}

// A commit whose outcome is not known at once (the index could not be renamed) is read back at the
// next write; until then and after it, a file of the batch is counted once, by the pair that took
// it, whichever way it came. Both ways end alike.
TEST_F(InPlaceTest, AfterACommitOfUnknownOutcomeSizesAndNamesAreCountedAsForCopies) {
    SetMaxPairDataSizeForTesting(100);
    std::vector<std::vector<std::string>> outcomes;
    for (const bool inPlace : {false, true}) {
        const std::string root = dir / (inPlace ? "placed" : "copied");
        std::shared_ptr<IManager> manager;
        ASSERT_TRUE(Instance().CreateManager(manager, root, ""));
        auto store = [&](const std::string& path, const std::string& bytes) {
            return inPlace ? WriteInPlace(*manager, path, bytes) : Add(*manager, path, bytes);
        };
        std::vector<std::string> outcome;
        ASSERT_TRUE(store("a", Content(1, 60)));
        // The first write makes the pair: its index's place is taken by a folder.
        const std::string index = root + "/" + [&] {
            const std::string text = "Archive0_" + root + "0";
            return "Archive_" + std::to_string(FileFormat::HashString(text.c_str())) + ".zef";
        }();
        QuorTest::MakeDirs(index);
        {
            LogRecorder log;
            outcome.push_back(manager->WriteArchiveFiles(false, nullptr) ? "written" : "not written");
        }
        ASSERT_EQ(rmdir(index.c_str()), 0);
        {
            LogRecorder log;
            outcome.push_back(store("a", Content(2, 60)) ? "a queued again" : "a refused");
            outcome.push_back(store("b", Content(3, 30)) ? "b queued" : "b refused");
            outcome.push_back(store("c", Content(4, 30)) ? "c queued" : "c refused");
            outcome.push_back(manager->WriteArchiveFiles(false, nullptr) ? "written" : "not written");
        }
        manager.reset();
        ASSERT_TRUE(Instance().CreateManager(manager, root, ""));
        for (const char* path : {"a", "b", "c"}) {
            std::string name;
            uint32_t offset = 0, size = 0;
            outcome.push_back(std::string(path) + (manager->Find(path, name, offset, size) ? ": " + std::to_string(size) : ": absent"));
        }
        for (const std::string& name : FolderEntries(root))
            if (name.ends_with(".zef.dat")) {
                struct stat st;
                ASSERT_EQ(::stat((root + "/" + name).c_str(), &st), 0);
                EXPECT_LE(static_cast<uint64_t>(st.st_size), 100u + 16u) << name;  // stored bytes and trailer
            }
        outcomes.push_back(outcome);
    }
    EXPECT_EQ(outcomes[1], outcomes[0]);
}

// A forced rewrite refused while a file is being written in place leaves nothing due: once the file
// is dropped the pair is what it was, and the writer's lock goes.
TEST_F(InPlaceTest, AForcedWriteRefusedDuringAFileLeavesThePairAsItWas) {
    WriteFirstPair();
    auto manager = Open();
    {
        const Vorn::UniqueFd fd = manager->BeginAddInPlace("x", 3);
        ASSERT_TRUE(fd.IsValid());
        ASSERT_EQ(::write(fd.Get(), "xyz", 3), 3);
        LogRecorder log;
        EXPECT_FALSE(manager->WriteArchiveFiles(true, nullptr));
        EXPECT_TRUE(log.Contains("still being written"));
        EXPECT_FALSE(manager->EndAddInPlace("x", false, nullptr));
    }
    EXPECT_TRUE(WriterLockFree());
    std::string name = PairName(0) + ".dat";
    EXPECT_TRUE(manager->IsArchiveUpToDate(name));
    EXPECT_EQ(Stored(*manager, "a"), Content(1, 40));
    EXPECT_TRUE(Leftovers().empty());
}

// An end that cannot keep its file says what failed and where (the file, the data file it was
// written into, the pair), and leaves no entry, nothing queued and nothing due behind.
TEST_F(InPlaceTest, AFailedEndSaysWhatAndWhereAndLeavesNoTrace) {
    WriteFirstPair();
    auto manager = Open();
    const struct {
        const char* what;
        std::string written;
        uint64_t declared;
        const char* why;
    } cases[] = {
        {"short", Content(2, 99), 100, "with 99 bytes instead of 100"},
        {"long", Content(3, 101), 100, "with 101 bytes instead of 100"},
    };
    for (const auto& c : cases) {
        std::string where;
        const Vorn::UniqueFd fd = manager->BeginAddInPlace(c.what, c.declared, &where);
        ASSERT_TRUE(fd.IsValid()) << c.what;
        EXPECT_TRUE(where.starts_with(folder + "/TMP")) << where;
        EXPECT_TRUE(where.ends_with(".dat")) << where;
        ASSERT_EQ(::write(fd.Get(), c.written.data(), c.written.size()), static_cast<ssize_t>(c.written.size()));
        LogRecorder log;
        EXPECT_FALSE(manager->EndAddInPlace(c.what, true, nullptr)) << c.what;
        const std::string all = log.All();
        EXPECT_NE(all.find(std::string("\"") + c.what + "\""), std::string::npos) << all;
        EXPECT_NE(all.find(where), std::string::npos) << all;
        EXPECT_NE(all.find(PairName(0)), std::string::npos) << all;
        EXPECT_NE(all.find(c.why), std::string::npos) << all;
        EXPECT_TRUE(WriterLockFree()) << c.what;
        EXPECT_TRUE(Leftovers().empty()) << c.what;
        std::string name = PairName(0) + ".dat";
        EXPECT_TRUE(manager->IsArchiveUpToDate(name)) << c.what;
    }
    // The names stay free for the next file.
    ASSERT_TRUE(WriteInPlace(*manager, "short", Content(4, 100)));
    ASSERT_TRUE(Add(*manager, "long", Content(5, 100)));
    ASSERT_TRUE(manager->WriteArchiveFiles(false, nullptr));
    EXPECT_EQ(Stored(*manager, "short"), Content(4, 100));
    EXPECT_EQ(Stored(*manager, "long"), Content(5, 100));
}

// The descriptor a file is written through belongs to the caller: dropping the changes removes
// the file it reaches, and what is still written through it never lands in a file opened later,
// of the archive or not.
TEST_F(InPlaceTest, ADescriptorThatOutlivesDroppedChangesReachesNoOtherFile) {
    WriteFirstPair();
    auto manager = Open();
    const Vorn::UniqueFd late = manager->BeginAddInPlace("e", 10);
    ASSERT_TRUE(late.IsValid());
    ASSERT_EQ(::write(late.Get(), "01234", 5), 5);
    manager->DiscardChanges();
    EXPECT_TRUE(Leftovers().empty());
    EXPECT_TRUE(WriterLockFree());
    // Files opened next take the lowest free descriptor numbers.
    std::vector<Vorn::UniqueFd> opened;
    for (int i = 0; i < 16; ++i) {
        const std::string other = dir / ("other" + std::to_string(i));
        opened.emplace_back(::open(other.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        ASSERT_TRUE(opened.back().IsValid());
    }
    const Vorn::UniqueFd next = manager->BeginAddInPlace("f", 100);
    ASSERT_TRUE(next.IsValid());
    const std::string bytes = Content(6, 100);
    ASSERT_EQ(::write(next.Get(), bytes.data(), bytes.size()), 100);
    (void)!::write(late.Get(), "56789", 5);
    ASSERT_TRUE(manager->EndAddInPlace("f", true, nullptr));
    {
        LogRecorder log;
        EXPECT_FALSE(manager->EndAddInPlace("e", true, nullptr));
        EXPECT_TRUE(log.Contains("is not being written in place"));
    }
    ASSERT_TRUE(manager->WriteArchiveFiles(false, nullptr));
    for (int i = 0; i < 16; ++i) EXPECT_EQ(ReadFile(dir / ("other" + std::to_string(i))), "") << i;
    EXPECT_EQ(Stored(*manager, "f"), bytes);
    EXPECT_EQ(Stored(*manager, "e"), "<absent>");
    EXPECT_TRUE(Leftovers().empty());
}

}  // namespace
}  // namespace Quor::FileSystem::Impl
