#include "archive/ManagedFileHelper.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <vector>

#include "archive/testing/ArchiveTesting.h"
#include "tests/kit/TempDir.h"
#include "common/LZMA.h"
#include "common/LocalRootFolder.h"
#include "common/ZLibHelper.h"
#include "foundation/CStd/CStd.h"
#include "foundation/Random.h"

namespace Quor::User::ManagedFileHelper {
namespace {

using ArchiveTesting::Content;
using ArchiveTesting::LogRecorder;
using ArchiveTesting::ReadStretch;
using QuorTest::Exists;
using QuorTest::ReadFile;
using QuorTest::WriteFile;

constexpr DWORD kVersion = 0x01000003;  // 1.0.0.3

// A fresh install tree with the working folder in {root}/system.
class ManagedFileHelperTest : public ::testing::Test {
protected:
    std::string Source(const std::string& name, const std::string& bytes) {
        WriteFile(root + "/src/" + name, bytes);
        return root + "/src/" + name;
    }
    std::string Folder(const std::string& project, DWORD version) const {
        return root + "/projects/" + project + "/filearchives/" + std::to_string(version >> 24) + "." +
               std::to_string((version >> 16) & 255) + "." + std::to_string((version >> 8) & 255) + "." +
               std::to_string(version & 255);
    }
    // Stores files and flushes.
    void Store(const std::string& project, DWORD version, const std::vector<std::pair<std::string, std::string>>& files) {
        for (const auto& [path, bytes] : files) ASSERT_EQ(AddFile(project, version, path, Source(path, bytes)), S_OK) << path;
        ASSERT_EQ(Flush(0), S_OK);
    }
    // The bytes a reader gets through LockFile (and unlocks again).
    std::string Locked(const std::string& project, DWORD version, const std::string& path) {
        std::string archivePath;
        uint32_t offset = 0, size = 0, handle = 0;
        if (FAILED(LockFile(project, version, path, archivePath, offset, size, handle))) return "<not locked>";
        std::string fsPath = archivePath;
        std::replace(fsPath.begin(), fsPath.end(), '\\', '/');
        const std::string bytes = size ? ReadStretch(fsPath, offset, size) : std::string();
        EXPECT_EQ(UnlockFile(handle), S_OK);
        return bytes;
    }

    QuorTest::QuorTree tree;
    std::string root = Common::LocalRootFolder::Get();
};

TEST_F(ManagedFileHelperTest, ProjectNamesDifferingInCaseShareOneManager) {
    std::shared_ptr<FileSystem::IManager> first, second;
    ASSERT_EQ(GetFileSystemManager("Game", kVersion, first), S_OK);
    ASSERT_EQ(GetFileSystemManager("gAME", kVersion, second), S_OK);
    EXPECT_EQ(first, second);
    EXPECT_EQ(first->GetRootDirectory(), Folder("Game", kVersion));
    EXPECT_TRUE(Vorn::std_dir_exists(Folder("Game", kVersion).c_str()));
    LogRecorder log;
    EXPECT_EQ(GetFileSystemManager("../evil", kVersion, first), E_FAIL);
    EXPECT_FALSE(first);
    EXPECT_EQ(AddFile("a/b", kVersion, "x", Source("x", "x")), E_FAIL);
    EXPECT_TRUE(log.Contains("Failed to find file system manager"));
}

TEST_F(ManagedFileHelperTest, ExtractWritesTheOriginalBytes) {
    const std::string plain = Content(1, 200000);
    const std::string lzmaSource = Source("lz.in", plain);
    ASSERT_EQ(Common::LZMA::CompressFile(lzmaSource, root + "/src/lz.out", 0), S_OK);
    ASSERT_EQ(Common::ZLibHelper::CompressFile(lzmaSource, root + "/src/z.out", 0), S_OK);
    Store("game", kVersion,
          {{"plain.bin", plain}, {"zlib.bin", ReadFile(root + "/src/z.out")}, {"lzma.bin", ReadFile(root + "/src/lz.out")}});

    struct Case {
        const char* path;
        DWORD flags;
    } cases[] = {{"plain.bin", 0}, {"zlib.bin", kStoredZLib}, {"zlib.bin", kStoredZLib | kStoredLZMA}, {"lzma.bin", kStoredLZMA}};
    for (const Case& c : cases) {
        const std::string out = root + "/out/" + c.path + std::to_string(c.flags);
        QuorTest::MakeDirs(root + "/out");
        ASSERT_EQ(ExtractFile("game", kVersion, c.path, c.flags, out), S_OK) << c.path << " flags " << c.flags;
        EXPECT_EQ(ReadFile(out) == plain, true) << c.path << " flags " << c.flags;
    }
    // The temporary files of the compressed extracts are gone.
    char* list = nullptr;
    ASSERT_TRUE(Vorn::std_get_dir_listing((root + "/temp").c_str(), list));
    EXPECT_EQ(*list, '\0');
    Vorn::std_free_dir_listing(list);
}

TEST_F(ManagedFileHelperTest, ExtractWithoutDestinationStaysInsideTheArchiveFolder) {
    Store("game", kVersion, {{"top.txt", "top"}});
    ASSERT_EQ(ExtractFile("game", kVersion, "top.txt", 0, ""), S_OK);
    EXPECT_EQ(ReadFile(Folder("game", kVersion) + "/top.txt"), "top");
    LogRecorder log;
    EXPECT_EQ(ExtractFile("game", kVersion, "../../../escape.txt", 0, ""), E_FAIL);
    EXPECT_TRUE(log.Contains("Invalid file name"));
    EXPECT_FALSE(Exists(root + "/projects/escape.txt"));
}

TEST_F(ManagedFileHelperTest, FailedExtractClosesItsHandle) {
    Store("game", kVersion, {{"a.txt", "alpha"}});
    {
        LogRecorder log;
        EXPECT_NE(ExtractFile("game", kVersion, "a.txt", 0, root + "/missing/folder/a.txt"), S_OK);
        EXPECT_TRUE(log.Contains("Failed to open destination file"));
        EXPECT_EQ(ExtractFile("game", kVersion, "nothere", 0, root + "/x"), E_FAIL);
        EXPECT_TRUE(log.Contains("Failed to find \"nothere\"."));
    }
    // No handle is left behind: the pair can be rewritten.
    ASSERT_EQ(AddFile("game", kVersion, "b.txt", Source("b", "bravo")), S_OK);
    EXPECT_EQ(Flush(0), S_OK);
    EXPECT_TRUE(DoesFileOrDirectoryExist("game", kVersion, "B.TXT"));
}

TEST_F(ManagedFileHelperTest, LockHandlesCountFromOneAndBlockRewrites) {
    Store("game", kVersion, {{"a.txt", "alpha"}, {"b.txt", "bravo"}});
    std::string path;
    uint32_t offset = 0, size = 0, first = 0, second = 0;
    ASSERT_EQ(LockFile("game", kVersion, "a.txt", path, offset, size, first), S_OK);
    ASSERT_EQ(LockFile("game", kVersion, "b.txt", path, offset, size, second), S_OK);
    EXPECT_EQ(first, 1u);
    EXPECT_EQ(second, 2u);
    EXPECT_EQ(path.substr(0, Folder("game", kVersion).size() + 1), Folder("game", kVersion) + "\\");
    ASSERT_EQ(RemoveFile("game", kVersion, "a.txt"), S_OK);
    {
        LogRecorder log;
        EXPECT_EQ(Flush(0), E_FAIL);
        EXPECT_TRUE(log.Contains("Files in the archive are still locked."));
    }
    EXPECT_EQ(UnlockFile(first), S_OK);
    EXPECT_EQ(UnlockFile(second), S_OK);
    {
        LogRecorder log;
        EXPECT_EQ(UnlockFile(second), E_FAIL);
        EXPECT_TRUE(log.Contains("Failed to find global handle (2)"));
    }
    ASSERT_EQ(Flush(0), S_OK);  // the queued removal is written now
    EXPECT_FALSE(DoesFileOrDirectoryExist("game", kVersion, "a.txt"));
    EXPECT_EQ(Locked("game", kVersion, "b.txt"), "bravo");
}

TEST_F(ManagedFileHelperTest, LockOfAnAbsentFileKeepsTheOutputs) {
    Store("game", kVersion, {{"a.txt", "alpha"}});
    std::string path = "unchanged";
    uint32_t offset = 5, size = 5, handle = 77;
    LogRecorder log;
    EXPECT_EQ(LockFile("game", kVersion, "nothere", path, offset, size, handle), E_FAIL);
    EXPECT_TRUE(log.Contains("Failed to find \"nothere\"."));
    EXPECT_EQ(path, "unchanged");
    EXPECT_EQ(handle, 77u);
    EXPECT_EQ(offset, 0u);
    EXPECT_EQ(size, 0u);
}

TEST_F(ManagedFileHelperTest, LockFailsWhenTheArchiveGivesNoHandle) {
    Store("game", kVersion, {{"a.txt", "alpha"}});
    // The same seed before each lock: the archive refuses the draws it already gave out, and after
    // eleven locks its eleven draws are all taken.
    std::string path;
    uint32_t offset = 0, size = 0, handle = 0;
    for (int i = 0; i < 11; ++i) {
        Vorn::Math::SeedRandom(1234);
        ASSERT_EQ(LockFile("game", kVersion, "a.txt", path, offset, size, handle), S_OK) << "lock " << i;
    }
    Vorn::Math::SeedRandom(1234);
    path = "unchanged";
    handle = 99;
    LogRecorder log;
    EXPECT_EQ(LockFile("game", kVersion, "a.txt", path, offset, size, handle), E_FAIL);
    EXPECT_EQ(handle, 99u);
    EXPECT_EQ(path, "unchanged");
    EXPECT_EQ(offset, 0u);
    EXPECT_EQ(size, 0u);
}

TEST_F(ManagedFileHelperTest, ReleaseWhileLockedWritesAtTheLastUnlock) {
    Store("game", kVersion, {{"a.txt", "alpha"}});
    std::string path;
    uint32_t offset = 0, size = 0, handle = 0;
    ASSERT_EQ(LockFile("game", kVersion, "a.txt", path, offset, size, handle), S_OK);
    ASSERT_EQ(AddFile("game", kVersion, "b.txt", Source("b", "bravo")), S_OK);
    Release();
    // A new manager of the folder cannot be made while the locked one lives.
    {
        LogRecorder log;
        EXPECT_FALSE(DoesFileOrDirectoryExist("game", kVersion, "a.txt"));
        EXPECT_TRUE(log.Contains("Failed to create file system manager for \"game\" release 0x01000003"));
    }
    EXPECT_EQ(UnlockFile(handle), S_OK);  // the last reference: the manager writes and goes
    EXPECT_EQ(Locked("game", kVersion, "b.txt"), "bravo");
}

TEST_F(ManagedFileHelperTest, FlushWritesEveryManagerPastOneThatFails) {
    EXPECT_EQ(Flush(0), S_OK);
    Store("game", kVersion, {{"a.txt", "alpha"}});
    Store("game", kVersion + 1, {{"a.txt", "alpha"}});
    std::string path;
    uint32_t offset = 0, size = 0, handle = 0;
    ASSERT_EQ(LockFile("game", kVersion, "a.txt", path, offset, size, handle), S_OK);
    ASSERT_EQ(AddFile("game", kVersion, "b.txt", Source("b", "bravo")), S_OK);
    ASSERT_EQ(AddFile("game", kVersion + 1, "b.txt", Source("b", "bravo")), S_OK);
    {
        LogRecorder log;
        EXPECT_EQ(Flush(0), E_FAIL);  // the first manager's pair is locked
        EXPECT_TRUE(log.Contains("Failed to write out archive files"));
    }
    EXPECT_EQ(Locked("game", kVersion + 1, "b.txt"), "bravo");
    EXPECT_EQ(UnlockFile(handle), S_OK);
    EXPECT_EQ(Flush(0), S_OK);
    EXPECT_EQ(Locked("game", kVersion, "b.txt"), "bravo");
}

// A file being written in place whose changes were dropped is dropped with them: its writer's end
// says nothing more and leaves a later file of the same path, begun since, to its own writer.
TEST_F(ManagedFileHelperTest, AFileWrittenInPlaceAndDiscardedLeavesALaterOneOfItsPathAlone) {
    Store("game", kVersion, {{"a.txt", "alpha"}});
    {
        auto alone = std::make_unique<FileWrittenInPlace>();
        ASSERT_EQ(alone->Begin("game", kVersion, "c.txt", 5), S_OK);
        DiscardChanges();
        LogRecorder log;
        alone.reset();
        EXPECT_EQ(log.All(), "");
    }
    auto stale = std::make_unique<FileWrittenInPlace>();
    ASSERT_EQ(stale->Begin("game", kVersion, "b.txt", 5), S_OK);
    DiscardChanges();
    FileWrittenInPlace later;
    ASSERT_EQ(later.Begin("game", kVersion, "b.txt", 5), S_OK);
    {
        const Vorn::UniqueFd output = later.Output();
        ASSERT_EQ(::write(output.Get(), "bravo", 5), 5);
    }
    {
        LogRecorder log;
        stale.reset();
        EXPECT_EQ(log.All(), "");
    }
    EXPECT_EQ(later.Keep(), S_OK);
    EXPECT_EQ(Flush(0), S_OK);
    EXPECT_EQ(Locked("game", kVersion, "b.txt"), "bravo");
    EXPECT_EQ(Locked("game", kVersion, "a.txt"), "alpha");
}

// A link standing for the archive folder of a release is replaced by a real folder before any
// pair is written: what it pointed to gets nothing.
TEST_F(ManagedFileHelperTest, ALinkedArchiveFolderIsReplacedNotWrittenThrough) {
    QuorTest::TempDir canary{"quorcanary"};
    const std::string folder = Folder("p", kVersion);
    QuorTest::MakeDirs(root + "/projects/p/filearchives");
    ASSERT_EQ(::symlink(canary.path().c_str(), folder.c_str()), 0);
    Store("p", kVersion, {{"a/one.bin", "archived bytes"}});
    Release();
    struct stat status {};
    ASSERT_EQ(::lstat(folder.c_str(), &status), 0);
    EXPECT_TRUE(S_ISDIR(status.st_mode));
    EXPECT_TRUE(std::filesystem::is_empty(canary.path()));
    EXPECT_EQ(Locked("p", kVersion, "a/one.bin"), "archived bytes");
}

}  // namespace
}  // namespace Quor::User::ManagedFileHelper
