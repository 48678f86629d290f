#include "update/ProcessFileArchives.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "archive/ManagedFileHelper.h"
#include "common/testing/LogCapture.h"
#include "tests/kit/content/InstalledTree.h"

namespace Quor::User {
namespace {

using InstallTesting::V;
constexpr DWORD kV = V(1, 0, 0, 1);
const std::string kPrefix = "projects/alpha/filearchives/1.0.0.1/";

// alpha 1.0.0.1 lists a/good.bin (archived), a/packed.bin (archived, kept zlib-compressed) and
// a/odd.bin (kept compressed without a codec); the archives of that version hold them as stored.
class ProcessFileArchivesTest : public InstallTesting::InstallTreeTest {
protected:
    void SetUp() override {
        InstallTesting::WriteInstalledProject(root, "alpha", kV,
                                              {{"a/good.bin", "good bytes", 0x02},
                                               {"a/packed.bin", std::string(3000, 'p'), 0x16},
                                               {"a/odd.bin", "odd", 0x12}});
        Store("a/good.bin", "good bytes");
        Store("a/packed.bin", InstallTesting::Compressed(std::string(3000, 'p'), 0x04, root + "/scratch"));
    }
    void Store(const std::string& path, const std::string& bytes) {
        ASSERT_EQ(ManagedFileHelper::AddFile("alpha", kV, path, Scratch("store", bytes)), S_OK);
        ASSERT_EQ(ManagedFileHelper::Flush(0), S_OK);
    }
    std::string ArchiveFolder() const { return root + "/" + kPrefix.substr(0, kPrefix.size() - 1); }
    std::vector<std::string> Contents() {
        std::shared_ptr<FileSystem::IManager> manager;
        EXPECT_EQ(ManagedFileHelper::GetFileSystemManager("alpha", kV, manager), S_OK);
        std::vector<std::string> contents;
        if (manager) manager->GetContents(contents);
        std::sort(contents.begin(), contents.end());
        return contents;
    }
    // Flips one byte of the stored bytes of path in its data file.
    void Corrupt(const std::string& path) {
        std::shared_ptr<FileSystem::IManager> manager;
        ASSERT_EQ(ManagedFileHelper::GetFileSystemManager("alpha", kV, manager), S_OK);
        std::string archive;
        uint32_t offset = 0, size = 0;
        ASSERT_TRUE(manager->Find(path, archive, offset, size));
        std::fstream data(manager->GetRootDirectory() + "/" + archive, std::ios::in | std::ios::out | std::ios::binary);
        data.seekg(offset);
        char byte = 0;
        data.read(&byte, 1);
        byte = static_cast<char>(byte ^ 0x5A);
        data.seekp(offset);
        data.write(&byte, 1);
    }
    HRESULT Run() {
        const Common::ReleaseManifest* manifest = nullptr;
        EXPECT_EQ(cache.Get("alpha", kV, manifest), S_OK);
        return ProcessFileArchives("alpha", kV, cache, {"projects", "alpha", "filearchives", "1.0.0.1"}, validated,
                                   progress);
    }
    std::map<std::string, std::filesystem::file_time_type> DataFileTimes() const {
        std::map<std::string, std::filesystem::file_time_type> times;
        for (const auto& item : std::filesystem::directory_iterator(ArchiveFolder()))
            times[item.path().filename().string()] = std::filesystem::last_write_time(item.path());
        return times;
    }

    Common::ReleaseManifestCache cache;
    std::vector<std::string> validated{"a", "zz"};
};

TEST_F(ProcessFileArchivesTest, AStoredCopyWithoutCodecIsRemoved) {
    Store("a/odd.bin", "odd");
    ManagedFileHelper::Release();
    // The stored copy of a/odd.bin has no codec: it is the only one removed.
    QuorTest::LogCapture log(Log::DEBUG);
    ASSERT_EQ(Run(), S_OK);
    EXPECT_EQ(Contents(), (std::vector<std::string>{"a/good.bin", "a/packed.bin"}));
    EXPECT_EQ(validated, (std::vector<std::string>{"a", kPrefix + "a/good.bin", kPrefix + "a/packed.bin", "zz"}));
    EXPECT_TRUE(log.Has("Compression format not specified"));
    EXPECT_TRUE(log.Has("Failed to decompress"));
    EXPECT_TRUE(log.Has("Failed to compute MD5.  File will be deleted from file archive: \"a/odd.bin\""));
}

TEST_F(ProcessFileArchivesTest, AllGoodRewritesNoPair) {
    ManagedFileHelper::Release();
    const auto before = DataFileTimes();
    ASSERT_EQ(Run(), S_OK);
    EXPECT_EQ(DataFileTimes(), before);
    EXPECT_EQ(Contents(), (std::vector<std::string>{"a/good.bin", "a/packed.bin"}));
    EXPECT_EQ(validated.size(), 4u);
}

TEST_F(ProcessFileArchivesTest, UnknownAndCorruptFilesAreRemoved) {
    Store("a/unknown.bin", "nobody lists me");
    Corrupt("a/good.bin");
    ManagedFileHelper::Release();
    QuorTest::LogCapture log(Log::DEBUG);
    ASSERT_EQ(Run(), S_OK);
    EXPECT_EQ(Contents(), (std::vector<std::string>{"a/packed.bin"}));
    EXPECT_EQ(validated, (std::vector<std::string>{"a", kPrefix + "a/packed.bin", "zz"}));
    EXPECT_TRUE(log.Has("Failed to match in release manifest.  File will be deleted from file archive: \"a/unknown.bin\""));
    EXPECT_TRUE(log.Has("MD5 mismatch.  File will be deleted from file archive: \"a/good.bin\""));
}

// Another project's entry of the same name and version never decides about alpha's archives.
TEST_F(ProcessFileArchivesTest, OnlyTheProjectsOwnManifestsCount) {
    InstallTesting::WriteInstalledProject(root, "aaa", kV, {{"a/good.bin", "other bytes", 0x02}});
    const Common::ReleaseManifest* other = nullptr;
    ASSERT_EQ(cache.Get("aaa", kV, other), S_OK);
    ManagedFileHelper::Release();
    ASSERT_EQ(Run(), S_OK);
    EXPECT_EQ(Contents(), (std::vector<std::string>{"a/good.bin", "a/packed.bin"}));
}

TEST_F(ProcessFileArchivesTest, AManagerThatCannotLoadFailsAndValidatesNothing) {
    ManagedFileHelper::Release();
    // An index that cannot be read at all (over 4 GiB, sparse) fails the folder's load.
    QuorTest::WriteFile(ArchiveFolder() + "/Huge.zef", "");
    std::filesystem::resize_file(ArchiveFolder() + "/Huge.zef", 5ull << 30);
    QuorTest::LogCapture log(Log::DEBUG);
    EXPECT_TRUE(FAILED(Run()));
    EXPECT_TRUE(log.Has("Failed to get file system manager"));
    EXPECT_EQ(validated, (std::vector<std::string>{"a", "zz"}));
}

TEST_F(ProcessFileArchivesTest, CancelRemovesNothing) {
    Store("a/unknown.bin", "nobody lists me");
    ManagedFileHelper::Release();
    cancel = 1;
    EXPECT_EQ(Run(), E_ABORT);
    cancel = 0;
    ManagedFileHelper::Release();
    EXPECT_EQ(Contents(), (std::vector<std::string>{"a/good.bin", "a/packed.bin", "a/unknown.bin"}));
    EXPECT_EQ(validated, (std::vector<std::string>{"a", "zz"}));
}

}  // namespace
}  // namespace Quor::User
