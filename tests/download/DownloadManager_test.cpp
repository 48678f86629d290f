// The download manager and its package getter against the scripted loopback server: queue order,
// failures, remote names, announcements before the first fetch, and stopping mid-transfer.
#include "install/DownloadManager.h"

#include <gtest/gtest.h>

#include "common/testing/LogCapture.h"
#include "install/GetFileUsingPackage.h"
#include "tests/download/DownloadFixture.h"

namespace {

using Quor::User::DownloadManager;
using QuorTest::ReadFile;

class DownloadManagerTest : public QuorTest::DownloadManagerFixture {};

TEST_F(DownloadManagerTest, QueuesFilesInListOrderAndListsFailures) {
    QuorTest::LogCapture log(Quor::Log::DEBUG);
    Add("a.txt", 0, "first");
    Add("b.txt", 0, "second", false);
    Add("c.txt", 0x04, "third");
    const auto paths = Paths();
    DownloadManager manager(paths, *server, fileSystem, progress, true, nullptr);
    const auto items = Drain(manager);

    ASSERT_EQ(2u, items.size());
    EXPECT_EQ(FilesUrl() + "a.txt", items[0].m_RemotePath);
    EXPECT_EQ("first", ReadFile(items[0].m_TemporaryFile->GetPath()));
    EXPECT_EQ(FilesUrl() + "c.txt", items[1].m_RemotePath);
    EXPECT_EQ(served[2].zlib, ReadFile(items[1].m_TemporaryFile->GetPath()));
    const auto failed = Failed(manager);
    ASSERT_EQ(1u, failed.size());
    EXPECT_EQ(FilesUrl() + "b.txt", failed[0].m_RemotePath);
    EXPECT_TRUE(log.HasError("Failed to download \"" + FilesUrl() + "b.txt\"."));
    EXPECT_EQ(S_OK, manager.GetResult());
    EXPECT_EQ(2u, TemporaryFiles().size());  // the failed fetch left none
}

TEST_F(DownloadManagerTest, EmptyListIsDoneAtOnce) {
    const std::vector<DownloadManager::DownloadPath> paths;
    DownloadManager manager(paths, *server, fileSystem, progress, true, nullptr);
    EXPECT_TRUE(Drain(manager).empty());
    EXPECT_TRUE(http.requests().empty());
}

TEST_F(DownloadManagerTest, RemoteNamesCarryTheSuffixOfTheFetchedForm) {
    struct Case {
        DWORD flags;
        bool compressedNames;
        const char* suffix;
    };
    const std::vector<DownloadManager::DownloadPath> none;
    for (const Case& c : {Case{0x00, true, ""}, Case{0x04, true, ".compressed"}, Case{0x20, true, ".lzma2"},
                          Case{0x24, true, ".compressed"}, Case{0x14, true, ".compressed"},
                          Case{0x24, false, ""}, Case{0x02, true, ""}}) {
        ENTRY entry;
        entry.flags = c.flags;
        DownloadManager manager(none, *server, fileSystem, progress, c.compressedNames, nullptr);
        EXPECT_EQ(std::string("/x/y") + c.suffix, manager.GetRemoteFileName({"/x/y", &entry, "/l"}))
            << std::hex << c.flags << " " << c.compressedNames;
    }
}

TEST_F(DownloadManagerTest, EveryFileIsAnnouncedBeforeTheFirstFetch) {
    Add("p/one.bin", 0, std::string(300, '1'));
    Add("p/two.bin", 0, std::string(300, '2'));
    Add("p/three.bin", 0, std::string(400, '3'));
    ServeBins({{"bin0", {"p/one.bin", "p/three.bin", "p/two.bin"}}});
    std::unique_ptr<Quor::User::GetFileUsingPackage> packages;
    DWORD usedAtFirstFetch = 0;
    bool fetched = false;
    QuorTest::HookedServer hooked(*server, [&](unsigned, const std::string&) {
        if (!packages || fetched) return;  // the package manifest's own fetch comes first
        fetched = true;
        const auto* bin = packages->FindBin("bin0");
        usedAtFirstFetch = bin ? bin->m_UsedBytes : 0;
    });
    packages = std::make_unique<Quor::User::GetFileUsingPackage>(PackagesUrl(), hooked, fileSystem, progress);
    ASSERT_TRUE(packages->HasManifest());
    const auto paths = Paths();
    DownloadManager manager(paths, hooked, fileSystem, progress, true, packages.get());
    const auto items = Drain(manager);
    ASSERT_EQ(3u, items.size());
    EXPECT_EQ(1000u, usedAtFirstFetch);
    EXPECT_EQ(1u, http.RequestCount(PackagesUrl() + "bin0"));
    EXPECT_EQ(std::string(400, '3'), ReadFile(items[1].m_TemporaryFile->GetPath()));
}

// Destroying a manager while the server stalls in a body ends the transfer through the stop flag:
// the worker is joined (no time-out message) and no temporary file stays.
TEST_F(DownloadManagerTest, DestroyingMidTransferLeavesNoWorkerAndNoTemporaryFile) {
    QuorTest::LogCapture log(Quor::Log::DEBUG);
    Add("slow.bin", 0, std::string(100000, 's'), false);
    Add("tail.bin", 0, "later");
    http.SetResponse(FilesUrl() + "slow.bin", {.body = std::string(100000, 's'),
                                               .stallAfterBodyBytes = 1000,
                                               .stallInBody = QuorTest::kStallUntilStop});
    const auto paths = Paths();
    {
        DownloadManager manager(paths, *server, fileSystem, progress, true, nullptr);
        ASSERT_TRUE(http.WaitForRequests(1));
    }
    EXPECT_FALSE(log.Contains("Thread did not terminate"));
    EXPECT_EQ(0u, http.RequestCount(FilesUrl() + "tail.bin"));
    EXPECT_TRUE(TemporaryFiles().empty());
}

}  // namespace

namespace {

// Announcements find files by their path below the server prefix, whose case does not matter;
// names the package manifest does not know change no bin.
TEST_F(DownloadManagerTest, AnnouncementsIgnoreThePrefixCaseAndUnknownNames) {
    Add("p/one.bin", 0, std::string(800, '1'));
    Add("p/two.bin", 0, std::string(200, '2'));
    ServeBins({{"bin0", {"p/one.bin", "p/two.bin"}}});
    Quor::User::GetFileUsingPackage packages(PackagesUrl(), *server, fileSystem, progress);
    ASSERT_TRUE(packages.HasManifest());
    packages.WeIntendToDownloadThisFile(FilesUrl() + "p/unknown.bin");
    EXPECT_EQ(nullptr, packages.FindBin("bin0"));
    packages.WeIntendToDownloadThisFile("/CDN/projects/alpha/releases/1.0.0.1/files/p/one.bin");
    ASSERT_NE(nullptr, packages.FindBin("bin0"));
    EXPECT_EQ(800u, packages.FindBin("bin0")->m_UsedBytes);
    EXPECT_TRUE(packages.FindBin("bin0")->m_MarkedForDownload);
}

}  // namespace
