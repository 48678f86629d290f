#include "archive/ReaderLock.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "archive/ManagedFileHelper.h"
#include "archive/testing/ArchiveTesting.h"
#include "tests/kit/TempDir.h"
#include "common/LocalRootFolder.h"
#include "common/ReleaseManifest.h"

namespace Quor::User {
namespace {

using ArchiveTesting::LogRecorder;
using ArchiveTesting::ReadStretch;
using QuorTest::WriteFile;

constexpr DWORD kRelease = 0x01000005;  // 1.0.0.5
constexpr DWORD kOlder = 0x01000003;    // 1.0.0.3

// An install tree with release 1.0.0.5 of "Game": a managed, an archived (stored by release
// 1.0.0.3), a deploy file, and one entry flagged both managed and archived.
class ReaderLockTest : public ::testing::Test {
protected:
    void SetUp() override {
        Common::ReleaseManifest manifest;
        manifest.m_ProjectName = "Game";
        manifest.m_ReleaseVersion = kRelease;
        const unsigned char md5[16] = {};
        ASSERT_EQ(manifest.Add("Data/Managed.txt", kOlder, md5, 0x01, 7, 0), S_OK);
        ASSERT_EQ(manifest.Add("Data/Archived.bin", kOlder, md5, 0x02, 8, 0), S_OK);
        ASSERT_EQ(manifest.Add("Data/Both.txt", kOlder, md5, 0x03, 1, 0), S_OK);
        ASSERT_EQ(manifest.Add("Run.txt", kRelease, md5, 0x00, 3, 0), S_OK);
        QuorTest::MakeDirs(root + "/projects/Game/releases/1.0.0.5");
        ASSERT_EQ(manifest.Save(root + "/projects/Game/releases/1.0.0.5/releasemanifest"), S_OK);
        WriteFile(root + "/src/archived", "archived");
        ASSERT_EQ(ManagedFileHelper::AddFile("Game", kOlder, "Data/Archived.bin", root + "/src/archived"), S_OK);
        ASSERT_EQ(ManagedFileHelper::Flush(0), S_OK);
    }

    struct Answer {
        HRESULT hr;
        std::string filePath;
        uint32_t offset, size, handle;
    };
    Answer Lock(const std::string& path) {
        Answer a{E_FAIL, "x", 9, 9, 9};
        a.hr = LockFile("Game", kRelease, path, cache, a.filePath, a.offset, a.size, a.handle);
        return a;
    }

    QuorTest::QuorTree tree;
    std::string root = Common::LocalRootFolder::Get();
    Common::ReleaseManifestCache cache;
};

TEST_F(ReaderLockTest, AnswersEveryKindOfFile) {
    const std::string game = root + "/projects/Game";
    const Answer managed = Lock("Data/Managed.txt");
    EXPECT_EQ(managed.hr, S_OK);
    EXPECT_EQ(managed.filePath, game + "/managedfiles/1.0.0.3/Data/Managed.txt");
    EXPECT_EQ(managed.offset + managed.size, 0u);
    EXPECT_EQ(managed.handle, kNoLockHandle);

    const Answer both = Lock("Data/Both.txt");
    EXPECT_EQ(both.filePath, game + "/managedfiles/1.0.0.3/Data/Both.txt");
    EXPECT_EQ(both.handle, kNoLockHandle);

    const Answer deploy = Lock("Run.txt");
    EXPECT_EQ(deploy.filePath, game + "/releases/1.0.0.5/deploy/Run.txt");
    EXPECT_EQ(deploy.handle, kNoLockHandle);

    const Answer unlisted = Lock("Some\\Other//File.txt");
    EXPECT_EQ(unlisted.hr, S_OK);
    EXPECT_EQ(unlisted.filePath, "Some\\Other//File.txt");
    EXPECT_EQ(unlisted.handle, kNoLockHandle);

    const Answer archived = Lock("Data/Archived.bin");
    ASSERT_EQ(archived.hr, S_OK);
    const std::string folder = game + "/filearchives/1.0.0.3";
    ASSERT_EQ(archived.filePath.substr(0, folder.size() + 1), folder + "\\");
    EXPECT_TRUE(archived.filePath.ends_with(".zef.dat"));
    EXPECT_EQ(archived.size, 8u);
    EXPECT_EQ(archived.handle, 1u);
    std::string fsPath = archived.filePath;
    std::replace(fsPath.begin(), fsPath.end(), '\\', '/');
    EXPECT_EQ(ReadStretch(fsPath, archived.offset, archived.size), "archived");

    // Other spellings of the path find the same entry; the handles go on counting.
    for (const char* spelling : {"data\\archived.BIN", "DATA//Archived.bin"}) {
        const Answer again = Lock(spelling);
        EXPECT_EQ(again.hr, S_OK) << spelling;
        EXPECT_EQ(again.filePath, archived.filePath) << spelling;
        EXPECT_EQ(again.offset, archived.offset) << spelling;
    }
    EXPECT_EQ(Lock("data/managed.TXT").filePath, game + "/managedfiles/1.0.0.3/Data/Managed.txt");
    EXPECT_EQ(Lock("DATA/ARCHIVED.BIN").handle, 4u);

    EXPECT_EQ(UnlockFile(kNoLockHandle), S_OK);
    for (uint32_t handle = 1; handle <= 4; ++handle) EXPECT_EQ(UnlockFile(handle), S_OK) << handle;
    LogRecorder log;
    EXPECT_EQ(UnlockFile(1), E_FAIL);
    EXPECT_TRUE(log.Contains("Failed to find global handle (1)"));
}

TEST_F(ReaderLockTest, FailuresLeaveEmptyOutputs) {
    LogRecorder log;
    std::string filePath = "x";
    uint32_t offset = 9, size = 9, handle = 9;
    EXPECT_EQ(LockFile("Game", 0x02000000, "Run.txt", cache, filePath, offset, size, handle), E_FAIL);
    EXPECT_TRUE(log.Contains("Failed to load manifest from cache"));
    EXPECT_EQ(filePath, "");
    EXPECT_EQ(offset + size, 0u);
    EXPECT_EQ(handle, kNoLockHandle);

    // Listed as archived but stored nowhere.
    ASSERT_EQ(ManagedFileHelper::RemoveFile("Game", kOlder, "Data/Archived.bin"), S_OK);
    ASSERT_EQ(ManagedFileHelper::Flush(0), S_OK);
    const Answer gone = Lock("Data/Archived.bin");
    EXPECT_EQ(gone.hr, E_FAIL);
    EXPECT_TRUE(log.Contains("ManagedFileHelper::LockFile failed"));
    EXPECT_EQ(gone.filePath, "");
    EXPECT_EQ(gone.offset + gone.size, 0u);
    EXPECT_EQ(gone.handle, kNoLockHandle);
}

}  // namespace
}  // namespace Quor::User
