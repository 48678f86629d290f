// Project update end to end: the update phases against nginx, the resulting tree compared with a
// fresh install of the target taken from the content description, requests from nginx's access
// log and telemetry from the recording collector (region "VORN", the one sampled region).
#include "tests/update/UpdateFixture.h"

#include <cerrno>

#include "foundation/OsContext.h"
#include "foundation/testing/FaultInjectingFileSystem.h"

namespace InstallE2E {
namespace {

TEST_F(UpdateFixture, S2UpdatesTheInstalledReleaseInPlaceThroughPatchesAndReportsStatistics) {
    AddS2Releases();
    ServeVorn();
    ASSERT_EQ(S_OK, Install(kV1));
    const size_t before = nginx->accessLog().size();
    ASSERT_EQ(S_OK, Update(Quor::INVALID_RELEASE_VERSION, Quor::INVALID_RELEASE_VERSION, [&] {
        EXPECT_FALSE(std::filesystem::exists(Ok(kV1)));  // the source stops being complete at once
        EXPECT_FALSE(std::filesystem::exists(Ok(kV2)));
        EXPECT_TRUE(std::filesystem::exists(Release(kV2) + "/deploy/bin/run.sh"));
    }));
    EXPECT_FALSE(std::filesystem::exists(Release(kV1)));
    EXPECT_TRUE(std::filesystem::exists(Ok(kV2)));
    EXPECT_FALSE(std::filesystem::exists(Release(kV2) + "/deploy/data/l.bin"));
    // The tree is a fresh install of the second release: run.sh patched, new/n.txt there, a/t2.bin
    // new in the second pair and gone from the first, where a/t1.bin stays, as does m/shared.dat.
    EXPECT_EQ("", Difference({kV2}));
    // Patched files are never fetched whole; the new file comes whole through the patch list.
    EXPECT_EQ(Names(FileGets(before)), std::multiset<std::string>{"new/n.txt"});

    const std::vector<std::string> keys = RecordKeys();
    std::vector<std::string> topFiles;
    for (const auto& message : collector.messages())
        if (message.body.find("quor_patch_top_file") != std::string::npos) topFiles.push_back(message.body);
    EXPECT_EQ(1, std::count(keys.begin(), keys.end(), "quor_patch_alpha_size")) << ::testing::PrintToString(keys);
    EXPECT_EQ(1, std::count(keys.begin(), keys.end(), "quor_patch_alpha_patch_time"));
    EXPECT_EQ(1, std::count(keys.begin(), keys.end(), "quor_patch_alpha_patch_speed"));
    EXPECT_GE(topFiles.size(), 1u);
    EXPECT_LE(topFiles.size(), 5u);
}

TEST_F(UpdateFixture, S2WithoutThePatchToolBuildsTheSameTreeThroughDownloads) {
    AddS2Releases();
    ServeVorn();
    ASSERT_EQ(S_OK, Install(kV1));
    std::filesystem::remove(tree.system() + "/jpatch");
    const size_t before = nginx->accessLog().size();
    ASSERT_EQ(S_OK, Update());
    EXPECT_TRUE(std::filesystem::exists(Ok(kV2)));
    EXPECT_FALSE(std::filesystem::exists(Release(kV1)));
    EXPECT_EQ("", Difference({kV2}));
    EXPECT_EQ(Names(FileGets(before)), (std::multiset<std::string>{"bin/run.sh", "a/t2.bin", "new/n.txt"}));
}

TEST_F(UpdateFixture, APatchManifestWithInvalidNamesStillUpdatesAndFetchesThoseFilesWhole) {
    AddS2Releases();
    ServeVorn();
    // The server's patch manifest names run.sh's patch outside the release and adds two more names
    // that no folder may take: those entries are refused, the rest of the manifest still counts.
    const std::string served = content.path() + kDownloadPath +
                               "/projects/alpha/releases/1.0.0.2/patchmanifests/1.0.0.1.patchmanifest";
    std::string text = QuorTest::ReadFile(served);
    const size_t runLine = text.find("\nbin/run.sh,");
    ASSERT_NE(std::string::npos, runLine) << text;
    text.replace(runLine, 12, "\n../bin/run.sh,");
    text += "/etc/x,1.0.0.1,1.0.0.2,10,0\nbin\\run.sh,1.0.0.1,1.0.0.2,10,0\n";
    QuorTest::WriteFile(served, text);
    ASSERT_EQ(S_OK, Install(kV1));
    const size_t before = nginx->accessLog().size();
    Quor::Log::SetLogLevel(Quor::Log::ERROR);
    ASSERT_EQ(S_OK, Update());
    EXPECT_TRUE(std::filesystem::exists(Ok(kV2)));
    EXPECT_FALSE(std::filesystem::exists(Release(kV1)));
    EXPECT_EQ("", Difference({kV2}));
    // run.sh lost its patch and comes whole; a/t2.bin is still patched; new/n.txt is whole anyway.
    EXPECT_EQ(Names(FileGets(before)), (std::multiset<std::string>{"bin/run.sh", "new/n.txt"}));
    EXPECT_TRUE(quiet.Contains("Invalid name \"../bin/run.sh\""));
}

TEST_F(UpdateFixture, WithoutAnInstalledReleaseTheTargetIsInstalledFreshForANewUser) {
    AddS2Releases();
    ServeVorn();
    ASSERT_EQ(S_OK, Update());
    EXPECT_TRUE(std::filesystem::exists(Ok(kV2)));
    EXPECT_EQ("", Difference({kV2}));
    const std::vector<std::string> keys = RecordKeys();
    EXPECT_EQ(1, std::count(keys.begin(), keys.end(), "quor_patch_alpha_size_newuser"))
        << ::testing::PrintToString(keys);
    EXPECT_EQ(1, std::count(keys.begin(), keys.end(), "quor_patch_alpha_patch_time_newuser"));
    EXPECT_EQ(0, std::count(keys.begin(), keys.end(), "quor_patch_alpha_size"));
}

TEST_F(UpdateFixture, ACompleteTargetIsNoWorkAndSendsNoSize) {
    AddS2Releases();
    ServeVorn();
    ASSERT_EQ(S_OK, Install(kV2));
    const QuorTest::TreeSnapshot before = Actual();
    Quor::Log::SetLogLevel(Quor::Log::VERBOSE);
    ASSERT_EQ(S_OK, Update());
    EXPECT_TRUE(quiet.Has("No work to do"));
    EXPECT_EQ("", QuorTest::SnapshotDifference(before, Actual()));
    EXPECT_EQ(RecordKeys(), std::vector<std::string>{});
}

TEST_F(UpdateFixture, TheNewestPartialReleaseBecomesTheTargetAndItsValidFilesAreNotFetchedAgain) {
    AddFirstRelease();
    for (DWORD version : {kV3, kV5, kV7}) AddSharingRelease(version);
    ServeVorn();
    ASSERT_EQ(S_OK, Install(kV3));
    ASSERT_EQ(S_OK, Install(kV5));
    MakePartial(kV3);
    MakePartial(kV5);
    const size_t before = nginx->accessLog().size();
    ASSERT_EQ(S_OK, Update(kV7));
    EXPECT_TRUE(std::filesystem::exists(Ok(kV7)));
    EXPECT_FALSE(std::filesystem::exists(Release(kV5)));
    EXPECT_TRUE(std::filesystem::exists(Release(kV3)));
    EXPECT_FALSE(std::filesystem::exists(Ok(kV3)));
    // Only what differs from 1.0.0.5: its own run.sh and n.txt.
    EXPECT_EQ(Names(FileGets(before)), (std::multiset<std::string>{"bin/run.sh", "new/n.txt"}));
}

TEST_F(UpdateFixture, ACompleteReleaseAboveTheTargetStaysAndTheTargetIsInstalledBesideIt) {
    AddFirstRelease();
    AddSharingRelease(kV7);
    AddSharingRelease(kV2000);
    ServeVorn();
    ASSERT_EQ(S_OK, Install(kV2000));
    const QuorTest::TreeSnapshot before = Actual();
    ASSERT_EQ(S_OK, Update(kV7));
    EXPECT_TRUE(std::filesystem::exists(Ok(kV2000)));
    EXPECT_TRUE(std::filesystem::exists(Ok(kV7)));
    QuorTest::TreeSnapshot after = Actual(), kept;
    for (const auto& item : after)
        if (before.count(item.first)) kept.insert(item);
    EXPECT_EQ("", QuorTest::SnapshotDifference(before, kept));  // nothing of 2.0.0.0 changed or went
    EXPECT_EQ("", Difference({kV7, kV2000}));
    const std::vector<std::string> keys = RecordKeys();
    EXPECT_EQ(1, std::count(keys.begin(), keys.end(), "quor_patch_alpha_size_newuser"));
}

TEST_F(UpdateFixture, ARequestedSourceNotBelowTheTargetFallsBackToTheHighestCompleteBelow) {
    AddFirstRelease();
    AddSharingRelease(kV2);
    AddSharingRelease(kV3);
    ServeVorn();
    ASSERT_EQ(S_OK, Install(kV1));
    ASSERT_EQ(S_OK, Install(kV3));
    Quor::Log::SetLogLevel(Quor::Log::VERBOSE);
    const UpdateProject::InputParameters input{project, kV3, kV2, fileSystem, *http, updateProgress};
    UpdateProject::Discover discover(input);
    ASSERT_EQ(S_OK, discover.m_hr);
    EXPECT_TRUE(quiet.Has("User specified source version 16777219 but that version is not before target version "
                          "16777218"));
    EXPECT_EQ(kV1, discover.m_SourceVersion);
    ASSERT_TRUE(discover.m_UpdateInPlace);
    UpdateProject::Execute execute(discover, nullptr, nullptr);
    ASSERT_EQ(S_OK, execute.m_hr);
    EXPECT_TRUE(std::filesystem::exists(Ok(kV2)));
    EXPECT_TRUE(std::filesystem::exists(Ok(kV3)));
    EXPECT_FALSE(std::filesystem::exists(Release(kV1)));
    EXPECT_EQ("", Difference({kV2, kV3}));
}

TEST_F(UpdateFixture, AFileToDeleteThatIsAlreadyGoneIsSkipped) {
    AddS2Releases();
    ServeVorn();
    ASSERT_EQ(S_OK, Install(kV1));
    Quor::Log::SetLogLevel(Quor::Log::VERBOSE);
    const std::string stale = Release(kV2) + "/deploy/data/l.bin";
    ASSERT_EQ(S_OK, Update(kV2, Quor::INVALID_RELEASE_VERSION, [&] { std::filesystem::remove(stale); }));
    EXPECT_TRUE(quiet.Has("File \"" + stale + "\" was already deleted."));
    EXPECT_EQ("", Difference({kV2}));
}

TEST_F(UpdateFixture, WhenTheFolderCannotBeMovedItIsCopiedAndTheSourceStaysWithoutCompletionMarker) {
    AddS2Releases();
    ServeVorn();
    ASSERT_EQ(S_OK, Install(kV1));
    QuorTest::WriteFile(Release(kV2) + "/left.txt", "a folder in the way");  // the move cannot replace it
    ASSERT_EQ(S_OK, Update(kV2, kV1));
    EXPECT_TRUE(std::filesystem::exists(Ok(kV2)));
    EXPECT_TRUE(std::filesystem::exists(Release(kV1) + "/deploy/bin/run.sh"));
    EXPECT_FALSE(std::filesystem::exists(Ok(kV1)));
    std::vector<DWORD> partial;
    ASSERT_EQ(S_OK, Quor::User::EnumerateInstalledProjectReleases(project, fileSystem, partial, true));
    EXPECT_EQ((std::vector<DWORD>{kV1, kV2}), partial);
}

// The patched files reach the disk before the target is marked complete: when the system refuses
// the flush of the target's files, the update fails and the target stays incomplete.
TEST_F(UpdateFixture, AFlushRefusedAfterPatchingLeavesTheTargetIncomplete) {
    AddS2Releases();
    ServeVorn();
    ASSERT_EQ(S_OK, Install(kV1));
    const std::string target = std::filesystem::canonical(root).string() + "/projects/alpha/releases/" +
                               Quor::Common::ConvertVersion::ToString(kV2);
    QuorTest::FaultInjectingFileSystem faults;
    const size_t flushes = faults.Fail(QuorTest::FileCall::Sync, QuorTest::PathMatch::Exactly(target), EIO,
                                       QuorTest::FaultInjectingFileSystem::kEvery);
    {
        Vorn::ScopedOsContext os({.files = &faults});
        QuorTest::LogCapture log(Quor::Log::ERROR);
        EXPECT_TRUE(FAILED(Update(kV2, kV1)));
        EXPECT_TRUE(log.HasError("Failed to create S_OK file")) << log.Errors();
    }
    EXPECT_GE(faults.Failed(flushes), 1u);
    EXPECT_FALSE(std::filesystem::exists(Ok(kV2)));
    std::vector<DWORD> complete;
    ASSERT_EQ(S_OK, Quor::User::EnumerateInstalledProjectReleases(project, fileSystem, complete, false));
    EXPECT_EQ(std::count(complete.begin(), complete.end(), kV2), 0) << "the target counts as complete";
}

TEST_F(UpdateFixture, ACancelBeforeTheSetUpLeavesTheSourceCompleteAndTheObjectFailed) {
    AddS2Releases();
    ServeVorn();
    ASSERT_EQ(S_OK, Install(kV1));
    const QuorTest::TreeSnapshot before = Actual();
    UpdateProject::UpdateInPlace update(project, kV1, kV2, fileSystem, *http, updateProgress);
    cancel = 1;
    EXPECT_EQ(E_ABORT, update.DoDiscovery());
    EXPECT_FALSE(update.m_Discovered);
    cancel = 0;
    EXPECT_EQ(E_ABORT, update.Execute());  // a failure sticks
    EXPECT_EQ("", QuorTest::SnapshotDifference(before, Actual()));
}

}  // namespace
}  // namespace InstallE2E
