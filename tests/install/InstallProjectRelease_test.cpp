// Installing a project release from nginx: the installed tree equals the one the release's
// description calls for, files already on disk (in another release, or left by an interrupted
// attempt) are reused instead of fetched, and nothing short of a complete tree gets "S_OK".
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <map>
#include <set>

#include "common/ProgressClock.h"
#include "common/ReleaseManifest.h"
#include "remote/AutoTemporaryFile.h"
#include "common/testing/LogCapture.h"
#include "foundation/OsContext.h"
#include "foundation/api/Progress.h"
#include "foundation/testing/FaultInjectingFileSystem.h"
#include "tests/kit/install/InstallFixture.h"
#include "tests/kit/content/FakeRemoteFileServer.h"

namespace InstallE2E {
namespace {

using Quor::User::InstallProjectRelease::Discover;
using Quor::User::InstallProjectRelease::Execute;
using Quor::User::InstallProjectRelease::InputParameters;

std::multiset<std::string> Names(const std::vector<std::string>& uris) {
    std::multiset<std::string> names;
    for (const std::string& uri : uris) names.insert(NameOf(uri));
    return names;
}

TEST_F(InstallFixture, FreshInstallPlacesEveryKindOfFileAndMarksTheReleaseComplete) {
    AddFirstRelease();
    Serve();
    ASSERT_EQ(S_OK, Install());
    EXPECT_EQ("", Difference({kV1}));
    EXPECT_TRUE(QuorTest::Exists(Ok(kV1)));
    EXPECT_EQ("ran\n", QuorTest::ReadFile(RunMeMarker()));
    EXPECT_TRUE(TempFiles().empty());
    // Every file fetched once, in its compressed form where it has one.
    EXPECT_EQ(Names(FileGets()), (std::multiset<std::string>{"bin/run.sh", "data/z.txt", "data/l.bin",
                                                                "c/packed.bin", "m/shared.dat", "a/t1.bin",
                                                                "a/t2.bin", "setup/once.sh"}));
    for (const std::string& uri : FileGets())
        if (uri.find("z.txt") != std::string::npos) {
            EXPECT_TRUE(uri.ends_with(".compressed")) << uri;
        }
}

TEST_F(InstallFixture, WithPackageBinsEachBinIsOneRequestAndNoFileIsFetchedAlone) {
    AddFirstRelease().binBytes = 64 * 1024;
    Serve();
    ASSERT_EQ(S_OK, Install());
    EXPECT_EQ("", Difference({kV1}));
    EXPECT_TRUE(TempFiles().empty());
    std::set<std::string> bins;
    for (const std::string& uri : FileGets()) {
        EXPECT_NE(uri.find("/packages/files/bin"), std::string::npos) << "fetched alone: " << uri;
        EXPECT_TRUE(bins.insert(uri).second) << "bin fetched twice: " << uri;
    }
    EXPECT_GE(bins.size(), 2u);
}

TEST_F(InstallFixture, ASecondReleaseSharesManagedAndArchivedFilesAndCopiesDeployFilesFromTheLowestHolder) {
    AddFirstRelease();
    AddSharingRelease(kV2);
    AddSharingRelease(kV3);
    Serve();
    ASSERT_EQ(S_OK, Install(kV1));
    size_t before = nginx->accessLog().size();
    ASSERT_EQ(S_OK, Install(kV2));
    EXPECT_EQ("", Difference({kV1, kV2}));
    // Only the files that changed in 1.0.0.2 come from the server.
    ASSERT_TRUE(nginx->WaitForAccessLog(before + 1));
    EXPECT_EQ(Names(FileGets(before)), (std::multiset<std::string>{"bin/run.sh", "new/n.txt"}));

    // 1.0.0.3: the unchanged deploy files are held by 1.0.0.1 and 1.0.0.2; the lower one is the source.
    const InputParameters input{project, kV3, fileSystem, *http, progress};
    Discover discover(input);
    ASSERT_EQ(S_OK, discover.m_hr);
    ASSERT_EQ(3u, discover.m_FilesToCopy.size());  // data/z.txt, data/l.bin, c/packed.bin
    for (const auto& copy : discover.m_FilesToCopy) EXPECT_EQ(kV1, copy.m_Source->m_ReleaseVersion);
    EXPECT_TRUE(discover.m_FilesToArchive.empty());
    before = nginx->accessLog().size();
    Execute execute(discover);
    ASSERT_EQ(S_OK, execute.m_hr);
    EXPECT_EQ(Names(FileGets(before)), (std::multiset<std::string>{"bin/run.sh", "new/n.txt"}));
    EXPECT_EQ("", Difference({kV1, kV2, kV3}));
}

TEST_F(InstallFixture, ASecondReleaseWithAPatchFromAnInstalledOneBuildsChangedFilesFromPatches) {
    tree.InstallPatchTools();
    AddFirstRelease();
    AddSharingRelease(kV2).patches.push_back({kV1, 0, 0});
    Serve();
    ASSERT_EQ(S_OK, Install(kV1));
    const size_t before = nginx->accessLog().size();
    const InputParameters input{project, kV2, fileSystem, *http, progress};
    Discover discover(input);
    ASSERT_EQ(S_OK, discover.m_hr);
    ASSERT_TRUE(discover.m_PatchManifest);
    EXPECT_EQ(kV1, discover.m_PatchSourceManifest->m_ReleaseVersion);
    std::set<std::string> patched;
    for (const auto& file : discover.m_FilesToPatch) patched.insert(file.m_TargetEntry->name);
    EXPECT_EQ(patched, (std::set<std::string>{"bin/run.sh", "new/n.txt"}));
    Execute execute(discover);
    ASSERT_EQ(S_OK, execute.m_hr);
    EXPECT_EQ("", Difference({kV1, kV2}));
    for (const std::string& uri : FileGets(before)) EXPECT_EQ(std::string::npos, uri.find("run.sh")) << uri;
}

TEST_F(InstallFixture, AReleaseWithoutFilesIsComplete) {
    description.AddProject("alpha").AddRelease(kV1, {"xx"});
    Serve();
    ASSERT_EQ(S_OK, Install());
    EXPECT_TRUE(QuorTest::Exists(Ok(kV1)));
    EXPECT_EQ("", Difference({kV1}));
}

// Sets the job's cancellation flag when the progress shows a given item.
class CancelAtItem : public Quor::API::IUpdateProgress {
public:
    CancelAtItem(signed char& flag, std::string item) : m_Flag(flag), m_Item(std::move(item)) {}
    void UpdateProgress(const Quor::API::Progress& progress) override {
        if (progress.m_CurrentItem == m_Item) m_Flag = 1;
    }

private:
    signed char& m_Flag;
    std::string m_Item;
};

class SteppingClock final : public Quor::User::IProgressClock {
public:
    DWORD NowMs() override { return m_Now += 1000; }

private:
    DWORD m_Now = 0;
};

TEST_F(InstallFixture, ACancelWhileEntriesAreSortedFailsTheDiscoveryWithAGeneralFailure) {
    AddFirstRelease();
    Serve();
    QuorTest::LogCapture log(Quor::Log::ERROR);
    CancelAtItem sink(cancel, "t2.bin");
    SteppingClock clock;  // every tick reports
    Quor::User::AutoUpdateProgress watched(&sink, &cancel, 0, clock);
    const InputParameters input{project, Quor::INVALID_RELEASE_VERSION, fileSystem, *http, watched};
    Discover discover(input);
    EXPECT_EQ(E_FAIL, discover.m_hr);
    Execute execute(discover);
    EXPECT_EQ(E_FAIL, execute.m_hr);
    EXPECT_TRUE(log.HasError("Cancellation detected, aborting"));
    EXPECT_FALSE(QuorTest::Exists(Ok(kV1)));
}

TEST_F(InstallFixture, AManifestNamingAFileOutsideTheReleaseFailsDiscoveryAndWritesNothingOutside) {
    AddFirstRelease();
    Serve();
    const std::string served =
        Quor::Tools::ContentTree::ReleaseFolder(content.path(), description, "alpha", kV1) + "/releasemanifest";
    Quor::Common::ReleaseManifest evil;
    ASSERT_EQ(S_OK, evil.Load(served, nullptr));
    const unsigned char md5[16] = {};
    ASSERT_EQ(S_OK, evil.AddUnsorted("../../evil", kV1, md5, 0, 4, 4));
    ASSERT_EQ(S_OK, evil.Save(served));
    EXPECT_TRUE(FAILED(Install()));
    EXPECT_FALSE(QuorTest::Exists(Ok(kV1)));
    // The tree's parent folder holds the tree alone, and nothing named evil exists in the tree.
    const std::filesystem::path top = std::filesystem::path(root).parent_path();
    for (const auto& entry : std::filesystem::directory_iterator(top))
        EXPECT_EQ("QUOR", entry.path().filename().string());
    for (const auto& entry : std::filesystem::recursive_directory_iterator(top))
        EXPECT_EQ(std::string::npos, entry.path().string().find("evil")) << entry.path();
}

TEST_F(InstallFixture, ACompleteReleaseWithADamagedFileIsRepairedByInstallingItAgain) {
    AddFirstRelease();
    Serve();
    ASSERT_EQ(S_OK, Install());
    const std::string runSh = root + "/projects/alpha/releases/1.0.0.1/deploy/bin/run.sh";
    std::string bytes = QuorTest::ReadFile(runSh);
    bytes[3] ^= 1;
    QuorTest::WriteFile(runSh, bytes);
    const size_t before = nginx->accessLog().size();
    ASSERT_EQ(S_OK, Install(kV1));
    EXPECT_EQ(Names(FileGets(before)), (std::multiset<std::string>{"bin/run.sh"}));
    EXPECT_EQ("", Difference({kV1}));
}

TEST_F(InstallFixture, AReinstallOfACompleteReleaseStoppedDuringDiscoveryKeepsItComplete) {
    AddFirstRelease();
    Serve();
    ASSERT_EQ(S_OK, Install());
    // Stopped after the first fetch, and right after the manifest arrived: nothing was to change,
    // so the release keeps "S_OK", its manifest and every file.
    struct Case {
        const char* name;
        size_t files;
        const char* containing;
    };
    for (const Case& c : {Case{"first fetch", 1, ""}, Case{"manifest", 1, "releasemanifest"}}) {
        SCOPED_TRACE(c.name);
        cancel = 0;
        QuorTest::FakeRemoteFileServer fake(content.path(), kDownloadPath, "xx");
        fake.CancelAfterFiles(c.files, &cancel, c.containing);
        EXPECT_TRUE(FAILED(Install(fake, kV1)));
        EXPECT_TRUE(QuorTest::Exists(Ok(kV1)));
        EXPECT_EQ("", Difference({kV1}));
        EXPECT_TRUE(TempFiles().empty());
    }
    cancel = 0;
    QuorTest::FakeRemoteFileServer again(content.path(), kDownloadPath, "xx");
    ASSERT_EQ(S_OK, Install(again, kV1));
    EXPECT_EQ(0u, again.CountContaining("/files/"));
    EXPECT_EQ("", Difference({kV1}));
}

TEST_F(InstallFixture, ACancelledInstallRunAgainFetchesExactlyWhatWasNotPlaced) {
    AddFirstRelease();
    Serve();
    QuorTest::FakeRemoteFileServer fake(content.path(), kDownloadPath, "xx");
    fake.CancelAfterFiles(4, &cancel, "/files/");
    EXPECT_TRUE(FAILED(Install(fake)));
    EXPECT_FALSE(QuorTest::Exists(Ok(kV1)));
    const std::multiset<std::string> missing = NotPlacedEntries();
    EXPECT_FALSE(missing.empty());

    cancel = 0;
    Quor::Common::DeleteTemporaryFiles();  // the kernel's start-up sweep
    QuorTest::FakeRemoteFileServer again(content.path(), kDownloadPath, "xx");
    ASSERT_EQ(S_OK, Install(again));
    std::vector<std::string> gets;
    for (const std::string& line : again.RequestLog())
        if (line.starts_with("GET ") && line.find("/files/") != std::string::npos &&
            line.find("packagemanifest") == std::string::npos) gets.push_back(line.substr(4));
    EXPECT_EQ(Names(gets), missing);
    EXPECT_EQ("", Difference({kV1}));
    EXPECT_TRUE(TempFiles().empty());
}

TEST_F(InstallFixture, FailuresOfTheDownloadLeaveNoCompletionMarker) {
    AddFirstRelease();
    Serve();
    const std::string files = std::string(kDownloadPath) + "/projects/alpha/releases/1.0.0.1/files/";
    struct Case {
        const char* what;
        std::function<void(QuorTest::FakeRemoteFileServer&)> fault;
    };
    const Case cases[] = {
        {"missing in every form", [&](auto& fake) { fake.FailFile(files + "data/z.txt"); }},
        {"corrupt in every form",
         [&](auto& fake) {
             fake.CorruptBody(files + "a/t2.bin");
         }},
        {"corrupt compressed body",
         [&](auto& fake) {
             fake.CorruptBody(files + "data/l.bin.lzma2");
             fake.CorruptBody(files + "data/l.bin");
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Quor::User::ManagedFileHelper::Release();
        std::filesystem::remove_all(root + "/projects/alpha");
        QuorTest::FakeRemoteFileServer fake(content.path(), kDownloadPath, "xx");
        c.fault(fake);
        EXPECT_TRUE(FAILED(Install(fake)));
        EXPECT_FALSE(QuorTest::Exists(Ok(kV1))) << Difference({kV1});
    }
    // A temporary file cannot be made: temp/ is a file.
    std::filesystem::remove_all(tree.temp());
    QuorTest::WriteFile(tree.temp(), "not a folder");
    QuorTest::FakeRemoteFileServer fake(content.path(), kDownloadPath, "xx");
    EXPECT_TRUE(FAILED(Install(fake)));
    EXPECT_FALSE(QuorTest::Exists(Ok(kV1)));
    std::filesystem::remove(tree.temp());
    std::filesystem::create_directory(tree.temp());
    ASSERT_EQ(S_OK, Install(fake));
    EXPECT_EQ("", Difference({kV1}));
}

// The archive pairs and the release's files are forced to the disk before the release is marked
// complete: a flush the system refuses there (of a pair's files, of the folder that holds them, of
// the file system holding the release) fails the install, and the release is not counted as
// complete until an install runs through.
TEST_F(InstallFixture, AFlushRefusedLeavesNoCompletionMarker) {
    AddFirstRelease();
    Serve();
    const std::string archives = std::filesystem::canonical(root).string() + "/projects/alpha/filearchives";
    const std::string release = std::filesystem::canonical(root).string() + "/projects/alpha/releases/" +
                                Quor::Common::ConvertVersion::ToString(kV1);
    const struct {
        const char* what;
        QuorTest::PathMatch path;
    } cases[] = {
        {"a pair's files", QuorTest::PathMatch::Below(archives + "/1.0.0.1")},
        {"the pairs' folder", QuorTest::PathMatch::Exactly(archives + "/1.0.0.1")},
        {"the release's file system", QuorTest::PathMatch::Exactly(release)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Quor::User::ManagedFileHelper::Release();
        std::filesystem::remove_all(root + "/projects/alpha");
        QuorTest::FaultInjectingFileSystem faults;
        const size_t flushes = faults.Fail(QuorTest::FileCall::Sync, c.path, EIO, QuorTest::FaultInjectingFileSystem::kEvery);
        {
            Vorn::ScopedOsContext os({.files = &faults});
            EXPECT_TRUE(FAILED(Install()));
            Quor::User::ManagedFileHelper::Release();
        }
        EXPECT_GE(faults.Failed(flushes), 1u);
        EXPECT_FALSE(QuorTest::Exists(Ok(kV1)));
        std::vector<DWORD> complete;
        ASSERT_EQ(S_OK, Quor::User::EnumerateInstalledProjectReleases(project, fileSystem, complete, false));
        EXPECT_EQ(std::count(complete.begin(), complete.end(), kV1), 0) << "the release counts as complete";
    }
    ASSERT_EQ(S_OK, Install());
    EXPECT_TRUE(QuorTest::Exists(Ok(kV1)));
    EXPECT_EQ("", Difference({kV1}));
}

}  // namespace
}  // namespace InstallE2E
