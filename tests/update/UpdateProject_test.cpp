// Project update end to end: the update phases against nginx, the resulting tree compared with a
// fresh install of the target taken from the content description, requests from nginx's access
// log and telemetry from the recording collector (region "VORN", the one sampled region).
#include "update/UpdateProject.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "remote/TelvoLogger.h"
#include "tests/install/InstallFixture.h"
#include "tests/kit/RecordingCollector.h"

namespace InstallE2E {
namespace {

using Quor::User::TelvoLogger;
namespace UpdateProject = Quor::User::UpdateProject;

inline constexpr DWORD kV5 = 0x01000005;
inline constexpr DWORD kV7 = 0x01000007;
inline constexpr DWORD kV2000 = 0x02000000;

std::multiset<std::string> Names(const std::vector<std::string>& uris) {
    std::multiset<std::string> names;
    for (const std::string& uri : uris) names.insert(NameOf(uri));
    return names;
}

class UpdateFixture : public InstallFixture {
protected:
    void TearDown() override { TelvoLogger::Shutdown(); }

    // Serves the description with every release offered in region "VORN" and points the telemetry
    // at the collector.
    void ServeVorn() {
        for (auto& release : description.projects.front().releases) release.regions = {"VORN"};
        std::string error;
        ASSERT_TRUE(Quor::Tools::ContentTree::BuildContentTree(description, content.path(), error)) << error;
        nginx = std::make_unique<QuorTest::NginxServer>(content.path());
        ASSERT_TRUE(nginx->started());
        tree.WriteSystemConfig(nginx->baseUrl(), kDownloadPath, "VORN");
        std::ofstream(tree.system() + "/system.cfg", std::ios::app)
            << "TelvoTestCollector = " << collector.baseUrl() << "\n";
        HRESULT created = E_FAIL;
        http = std::make_unique<Quor::User::RemoteFileServerHTTP>(created, Quor::Common::GetDownloadURL());
        ASSERT_EQ(S_OK, created);
    }

    // S2: the second release changes run.sh and the archived a/t2.bin, drops data/l.bin, adds
    // new/n.txt and keeps the rest at their first-release versions; patches from the first.
    void AddS2Releases() {
        tree.InstallPatchTools();  // the builder makes the patches with our jdiff
        AddFirstRelease();
        ReleaseSpec& second = description.projects.front().AddRelease(kV2, {"VORN"});
        for (const FileSpec& file : description.projects.front().FindRelease(kV1)->files)
            if (file.name != "bin/run.sh" && file.name != "data/l.bin" && file.name != "a/t2.bin")
                second.files.push_back(file);
        second.AddFile("bin/run.sh", 0, "#!/bin/sh\necho run two\n");
        second.AddFile("a/t2.bin", 0x02, Bytes(8100, 60));
        second.AddFile("new/n.txt", 0x04, Bytes(5000, 7));
        second.patches.push_back({kV1, 0, 0});
    }

    // Discover then Execute, as the kernel's handler runs them, with a progress of their own (the
    // statistics read its totals); the Execute's result.
    HRESULT Update(DWORD target = Quor::INVALID_RELEASE_VERSION, DWORD source = Quor::INVALID_RELEASE_VERSION,
                   const std::function<void()>& afterDiscover = {}) {
        const UpdateProject::InputParameters input{project, source, target, fileSystem, *http, updateProgress};
        UpdateProject::Discover discover(input);
        if (afterDiscover) afterDiscover();
        DWORD chosenSource = 0, chosenTarget = 0;
        UpdateProject::Execute execute(discover, &chosenSource, &chosenTarget);
        if (SUCCEEDED(execute.m_hr)) {
            EXPECT_EQ(discover.m_TargetVersion, chosenTarget);
        }
        return execute.m_hr;
    }

    // The keys of every telemetry record sent, after sending what is pending.
    std::vector<std::string> RecordKeys() {
        TelvoLogger::Shutdown();
        std::vector<std::string> keys;
        for (const auto& message : collector.messages()) {
            const size_t open = message.body.find('"');
            keys.push_back(message.body.substr(open + 1, message.body.find('"', open + 1) - open - 1));
        }
        return keys;
    }
    std::string Release(DWORD version) const {
        return root + "/projects/alpha/releases/" + Quor::Common::ConvertVersion::ToString(version);
    }
    void MakePartial(DWORD version) { std::filesystem::remove(Ok(version)); }

    QuorTest::RecordingCollector collector;
    Quor::User::AutoUpdateProgress updateProgress{nullptr, &cancel, 0};
};

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

}  // namespace
}  // namespace InstallE2E
