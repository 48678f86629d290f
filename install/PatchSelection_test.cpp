#include "install/PatchSelection.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "common/testing/LogCapture.h"
#include "tests/kit/InstallTreeTest.h"
#include "tests/kit/content/FakeRemoteFileServer.h"
#include "tools/contenttree/ContentTreeBuilder.h"

namespace Quor::User::UpdateAndInstallShared {
namespace {

using Common::PatchManifest;
using Common::ReleaseManifest;
using InstallTesting::V;
using namespace Quor::Tools::ContentTree;

constexpr DWORD k1 = V(1, 0, 0, 1), k2 = V(1, 0, 0, 2), k3 = V(1, 0, 0, 3);

// A server with releases 1.0.0.1 to 1.0.0.3 of "game", 1.0.0.3 carrying patches from the releases
// named by the test; installed releases are laid out by hand (S_OK and the release manifest).
class FindBestPatchTest : public InstallTesting::InstallTreeTest {
protected:
    void Build(const std::vector<DWORD>& patchSources) {
        tree.InstallPatchTools();
        ProductSpec& game = description.AddProject("game");
        DWORD n = 0;
        for (DWORD version : {k1, k2, k3}) {
            ReleaseSpec& release = game.AddRelease(version);
            release.AddFile("a.txt", 0, "content " + std::to_string(++n));
            if (version == k3)
                for (DWORD source : patchSources) release.patches.push_back({source, 0, 0});
        }
        std::string error;
        ASSERT_TRUE(BuildContentTree(description, server.path(), error)) << error;
    }
    void Install(DWORD version, bool complete = true) {
        const std::string from = Quor::Tools::ContentTree::ReleaseFolder(server.path(), description, "game", version);
        QuorTest::WriteFile(InstallTreeTest::ReleaseFolder("game", version) + "/releasemanifest",
                            QuorTest::ReadFile(from + "/releasemanifest"));
        if (complete) QuorTest::WriteFile(InstallTreeTest::ReleaseFolder("game", version) + "/S_OK", "");
    }
    HRESULT Find() {
        PatchManifest* patches = reinterpret_cast<PatchManifest*>(1);
        ReleaseManifest* source = reinterpret_cast<ReleaseManifest*>(1);
        const HRESULT hr = FindBestPatchForRelease("game", k3, fileSystem, fake, patches, source, progress);
        patchManifest.reset(patches);
        sourceManifest.reset(source);
        return hr;
    }

    QuorTest::TempDir server{"quorserver"};
    ContentDescription description;
    QuorTest::FakeRemoteFileServer fake{server.path()};
    std::unique_ptr<PatchManifest> patchManifest;
    std::unique_ptr<ReleaseManifest> sourceManifest;
};

TEST_F(FindBestPatchTest, TheNewestCompleteInstalledReleaseWithAPatchIsTheSource) {
    Build({k1, k2});
    Install(k1);
    Install(k2);
    QuorTest::LogCapture log;
    ASSERT_EQ(S_OK, Find()) << log.Errors();
    ASSERT_TRUE(patchManifest && sourceManifest);
    EXPECT_EQ(k2, patchManifest->m_SourceReleaseVersion);
    EXPECT_EQ(k3, patchManifest->m_DestinationReleaseVersion);
    EXPECT_EQ(k2, sourceManifest->m_ReleaseVersion);
    EXPECT_TRUE(log.Has(Log::DEBUG, "Found a patch from \"1.0.0.2\" to \"1.0.0.3\"."));
    EXPECT_TRUE(std::filesystem::is_empty(root + "/temp")) << "the downloaded manifest is deleted";
}

TEST_F(FindBestPatchTest, AnIncompleteOrUnpatchedReleaseIsPassedOver) {
    Build({k1});
    Install(k1);
    Install(k2);  // complete, but the server has no patch from it
    ASSERT_EQ(S_OK, Find());
    ASSERT_TRUE(patchManifest && sourceManifest);
    EXPECT_EQ(k1, sourceManifest->m_ReleaseVersion);

    std::filesystem::remove(InstallTreeTest::ReleaseFolder("game", k1) + "/S_OK");
    QuorTest::LogCapture log;
    ASSERT_EQ(S_OK, Find());
    EXPECT_FALSE(patchManifest);
    EXPECT_FALSE(sourceManifest);
    EXPECT_TRUE(log.Has(Log::DEBUG, "Did not find a patch from any installed release to \"1.0.0.3\"."));
}

TEST_F(FindBestPatchTest, NothingInstalledGivesTwoNullsAndSuccess) {
    Build({k1, k2});
    QuorTest::LogCapture log;
    ASSERT_EQ(S_OK, Find());
    EXPECT_FALSE(patchManifest);
    EXPECT_FALSE(sourceManifest);
    EXPECT_TRUE(log.Has(Log::DEBUG, "Did not find a patch from any installed release to \"1.0.0.3\"."));
    EXPECT_TRUE(fake.RequestLog().empty());
}

TEST_F(FindBestPatchTest, FailuresOfTheServerAndOfTheSourceManifestAreReturned) {
    Build({k2});
    Install(k2);
    fake.FailConnection("/quor/projects/game/releases/1.0.0.3/patchmanifests/1.0.0.2.patchmanifest");
    QuorTest::LogCapture log;
    EXPECT_TRUE(FAILED(Find()));
    EXPECT_TRUE(log.HasError("Failed to enumerate the available patches."));
    EXPECT_FALSE(patchManifest);

    fake.ClearFaults();
    QuorTest::WriteFile(InstallTreeTest::ReleaseFolder("game", k2) + "/releasemanifest", "not a manifest");
    EXPECT_TRUE(FAILED(Find()));
    EXPECT_TRUE(log.HasError("Failed to load the src manifest for the patch."));
    EXPECT_TRUE(patchManifest) << "the patch manifest stays with the caller";
    EXPECT_FALSE(sourceManifest);
}

PatchManifest::ENTRY PatchEntry(const std::string& name, DWORD destination) {
    PatchManifest::ENTRY entry;
    entry.name = name;
    entry.source = k1;
    entry.destination = destination;
    return entry;
}

TEST(FindEntryByName, OnlyASingleEntryForTheVersionIsFound) {
    PatchManifest manifest;
    // Loading refuses a name listed twice; a manifest built otherwise may still hold one.
    manifest.m_Entries = {PatchEntry("a.txt", k2), PatchEntry("B/Twice.txt", k2), PatchEntry("b/twice.TXT", k2),
                          PatchEntry("c.txt", k3)};
    const PatchManifest::ENTRY* found = FindEntryByName("A.TXT", k2, manifest);
    ASSERT_NE(nullptr, found);
    EXPECT_EQ("a.txt", found->name);
    EXPECT_EQ(nullptr, FindEntryByName("b/twice.txt", k2, manifest)) << "listed twice: downloaded whole";
    EXPECT_EQ(nullptr, FindEntryByName("c.txt", k2, manifest)) << "made for another release";
    EXPECT_EQ(nullptr, FindEntryByName("d.txt", k2, manifest));
    EXPECT_EQ(nullptr, FindEntryByName("a.txt", k2, PatchManifest()));
}

TEST(GreaterVersion, OrdersNewestFirstAsUnsignedNumbers) {
    EXPECT_TRUE(GreaterVersion(V(200, 0, 0, 0), V(1, 0, 0, 0)));
    EXPECT_FALSE(GreaterVersion(k1, k1));
    EXPECT_FALSE(GreaterVersion(k1, k2));
}

using AddEntryBytesTest = InstallTesting::InstallTreeTest;

TEST_F(AddEntryBytesTest, OnlyWorkOnTheLocalDiskIsAdded) {
    struct Row {
        DWORD flags;
        DWORD added;  // 0: nothing
    };
    // size 1000, compressed size 300.
    const Row rows[] = {{0x00, 0}, {0x14, 0}, {0x34, 0}, {0x03, 0}, {0x04, 1300}, {0x20, 1300}, {0x10, 1300},
                        {0x06, 1300}, {0x11, 1300}};
    for (const Row& row : rows) {
        ReleaseManifest::ENTRY entry;
        entry.name = "f";
        entry.flags = row.flags;
        entry.size = 1000;
        entry.compressedSize = 300;
        QuorTest::LogCapture log;
        AddEntryBytesToTotal(entry, progress);
        EXPECT_EQ(row.added != 0, log.Contains("WORK_TYPE_DISK_ACCESS")) << row.flags << "\n" << log.All();
        if (row.added) {
            EXPECT_TRUE(log.Has(Log::VERBOSE, "WORK_TYPE_DISK_ACCESS, " + std::to_string(row.added))) << row.flags;
        }
        EXPECT_FALSE(log.Contains("WORK_TYPE_DOWNLOAD")) << row.flags;
    }
}

}  // namespace
}  // namespace Quor::User::UpdateAndInstallShared
