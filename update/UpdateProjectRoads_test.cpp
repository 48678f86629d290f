// Every road a project update or install takes to "S_OK", over the fake content server: a served
// manifest of another project or release is refused (and an update in place refused so leaves its
// source complete), an interrupted update ends, once rerun, with the target's files in its deploy
// folder and none of its source's, and a reader's lock on an archive the update must rewrite stops
// the update before the source release is given up, as does a disk too full for it. What no
// release lists (the program's and its user's files) stays on every road.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "archive/ManagedFileHelper.h"
#include "common/testing/LogCapture.h"
#include "foundation/CStd/CStdFiles.h"
#include "install/InstallProjectRelease.h"
#include "install/InstalledState.h"
#include "remote/TelvoLogger.h"
#include "tests/kit/content/ExpectedInstall.h"
#include "tests/kit/content/FakeRemoteFileServer.h"
#include "tests/kit/content/InstalledTree.h"
#include "tests/kit/content/UserFiles.h"
#include "tools/contenttree/ContentTreeBuilder.h"
#include "update/UpdateProject.h"
#include "update/Validate.h"

namespace Quor::User::UpdateProject {
namespace {

using InstallTesting::V;
using Tools::ContentTree::ContentDescription;
using Tools::ContentTree::ReleaseSpec;
constexpr DWORD kV1 = V(1, 0, 0, 1), kV2 = V(1, 0, 0, 2);

class UpdateProjectRoadsTest : public InstallTesting::InstallTreeTest {
protected:
    void SetUp() override {
        RegisterInstalledStateServices();
        // alpha 1.0.0.2 changes run.sh and the archived t2.bin, drops data/gone.txt and the
        // archived a/gone.bin, adds new/n.txt and keeps the rest.
        auto& alpha = description.AddProject("alpha");
        ReleaseSpec& first = alpha.AddRelease(kV1, {"xx"});
        first.AddFile("bin/run.sh", 0, "#!/bin/sh\necho one\n");
        first.AddFile("data/z.txt", 0x04, std::string(6000, 'z'));
        first.AddFile("data/gone.txt", 0, "dropped by the second release");
        first.AddFile("m/shared.dat", 0x01, "managed");
        first.AddFile("a/kept.bin", 0x02, std::string(3000, 'k'));
        first.AddFile("a/t2.bin", 0x02, std::string(2000, 't'));
        first.AddFile("a/gone.bin", 0x02, "archived, dropped");
        ReleaseSpec& second = alpha.AddRelease(kV2, {"xx"});
        for (const auto& file : alpha.FindRelease(kV1)->files)
            if (file.name != "bin/run.sh" && file.name != "a/t2.bin" && file.name.find("gone") == std::string::npos)
                second.files.push_back(file);
        second.AddFile("bin/run.sh", 0, "#!/bin/sh\necho two\n");
        second.AddFile("a/t2.bin", 0x02, std::string(2500, 'u'));
        second.AddFile("new/n.txt", 0, "new in the second release");
        if (withPatches) {
            tree.InstallPatchTools();  // the builder makes the patches with our jdiff
            second.patches.push_back({kV1, 0, 0});
        }
        description.AddProject("beta").AddRelease(kV2, {"xx"}).AddFile("b/arch.bin", 0x02, "beta's archived file");
        std::string error;
        ASSERT_TRUE(Tools::ContentTree::BuildContentTree(description, content.path(), error)) << error;
    }
    void TearDown() override { TelvoLogger::Shutdown(); }

    HRESULT Install(DWORD version) {
        const std::string project = "alpha";
        const InstallProjectRelease::InputParameters input{project, version, fileSystem, server, progress};
        const InstallProjectRelease::Discover discover(input);
        return InstallProjectRelease::Execute(discover).m_hr;
    }
    HRESULT Update(DWORD target = kV2) {
        const InputParameters input{"alpha", INVALID_RELEASE_VERSION, target, fileSystem, server, progress};
        const Discover discover(input);
        return Execute(discover, nullptr, nullptr).m_hr;
    }
    std::string Ok(DWORD version) const { return ReleaseFolder("alpha", version) + "/S_OK"; }
    std::string Served(const std::string& project, DWORD version) const {
        return content.path() + "/quor/projects/" + project + "/releases/" + Common::ConvertVersion::ToString(version) +
               "/releasemanifest";
    }
    QuorTest::TreeSnapshot Actual() const { return InstallTesting::InstalledSnapshot(root); }
    QuorTest::TreeSnapshot Expected(DWORD version) const {
        return QuorTest::ExpectedProjectInstall(description, content.path(), "alpha", version);
    }
    // The part of a snapshot below the project's releases/ folder.
    static QuorTest::TreeSnapshot Releases(const QuorTest::TreeSnapshot& snapshot) {
        QuorTest::TreeSnapshot part;
        for (const auto& [path, value] : snapshot)
            if (path.starts_with("projects/alpha/releases/")) part.emplace(path, value);
        return part;
    }
    void Clear() {
        ManagedFileHelper::Release();
        for (const auto& entry : std::filesystem::directory_iterator(root + "/projects")) std::filesystem::remove_all(entry);
    }

    bool withPatches = false;  // set by a derived fixture's constructor: patches from 1.0.0.1 to 1.0.0.2
    ContentDescription description;
    QuorTest::TempDir content{"quorserver"};
    QuorTest::FakeRemoteFileServer server{content.path(), "/quor", "xx"};
};

// The server's alpha 1.0.0.2 manifest is stale (alpha 1.0.0.1's) or misnamed (beta 1.0.0.2's).
TEST_F(UpdateProjectRoadsTest, AServedManifestOfAnotherReleaseIsRefusedOnEveryRoad) {
    const std::string good = QuorTest::ReadFile(Served("alpha", kV2));
    struct Row {
        const char* name;
        std::string served;  // what the server offers as alpha 1.0.0.2's manifest
        bool sourceInstalled;  // 1.0.0.1 complete first: the update goes in place
        const char* line;
    };
    const std::vector<Row> rows = {
        {"install, stale", Served("alpha", kV1), false, "The release manifest of alpha 1.0.0.2 describes alpha 1.0.0.1."},
        {"install, misnamed", Served("beta", kV2), false, "The release manifest of alpha 1.0.0.2 describes beta 1.0.0.2."},
        {"update in place, stale", Served("alpha", kV1), true,
         "The release manifest of alpha 1.0.0.2 describes alpha 1.0.0.1."},
        {"update in place, misnamed", Served("beta", kV2), true,
         "The release manifest of alpha 1.0.0.2 describes beta 1.0.0.2."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Clear();
        QuorTest::WriteFile(Served("alpha", kV2), good);
        if (row.sourceInstalled) {
            QuorTest::LogCapture quiet(Log::USER);
            ASSERT_EQ(Install(kV1), S_OK);
        }
        QuorTest::WriteFile(Served("alpha", kV2), QuorTest::ReadFile(row.served));
        QuorTest::LogCapture log;
        const HRESULT hr = row.sourceInstalled ? Update() : Install(kV2);
        EXPECT_TRUE(FAILED(hr)) << std::hex << hr;
        EXPECT_TRUE(log.HasError(row.line)) << log.Errors();
        EXPECT_FALSE(QuorTest::Exists(Ok(kV2)));
        EXPECT_FALSE(QuorTest::Exists(root + "/projects/beta")) << "files went into another project's tree";
        if (row.sourceInstalled) {
            // Refused before the source was given up: it is complete and untouched.
            EXPECT_EQ(QuorTest::SnapshotDifference(Expected(kV1), Actual()), "");
        }
    }
}

// An update stopped after its source was moved, and the fresh install over a partial target
// folder: once a run reaches "S_OK", the target's deploy folder holds exactly the files it lists
// (none of them here under another spelling, none of the source's).
TEST_F(UpdateProjectRoadsTest, AResumedUpdateLeavesExactlyTheTargetsFilesInItsDeployFolder) {
    struct Row {
        const char* name;
        std::function<void()> interrupt;  // from 1.0.0.1 complete
    };
    const std::vector<Row> rows = {
        {"stopped right after discovery (the move)",
         [&] {
             const InputParameters input{"alpha", INVALID_RELEASE_VERSION, kV2, fileSystem, server, progress};
             const Discover discover(input);
             ASSERT_EQ(discover.m_hr, S_OK);
             ASSERT_NE(discover.m_UpdateInPlace, nullptr);
         }},
        {"failed in the download step, the other files placed",
         [&] {
             server.FailFile("/quor/projects/alpha/releases/1.0.0.2/files/new/n.txt");
             EXPECT_TRUE(FAILED(Update()));
             server.ClearFaults();
             ManagedFileHelper::Release();  // the rerun comes as a new process
         }},
        {"a partial target folder holding a listed file under another spelling",
         [&] {
             Clear();
             QuorTest::WriteFile(ReleaseFolder("alpha", kV2) + "/deploy/Bin/run.sh", "another spelling");
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Clear();
        {
            QuorTest::LogCapture quiet(Log::USER);
            ASSERT_EQ(Install(kV1), S_OK);
            row.interrupt();
        }
        EXPECT_FALSE(QuorTest::Exists(Ok(kV1)));
        EXPECT_FALSE(QuorTest::Exists(Ok(kV2)));
        QuorTest::LogCapture log;
        ASSERT_EQ(Update(), S_OK) << log.Errors();
        EXPECT_TRUE(QuorTest::Exists(Ok(kV2)));
        EXPECT_EQ(QuorTest::SnapshotDifference(Releases(Expected(kV2)), Releases(Actual())), "");
    }
}

// The served 1.0.0.2 claims more bytes than the disk has free: the update is refused before the
// source is given up.
TEST_F(UpdateProjectRoadsTest, AnUpdateTheDiskCannotTakeIsRefusedBeforeTheSourceIsGivenUp) {
    {
        QuorTest::LogCapture quiet(Log::USER);
        ASSERT_EQ(Install(kV1), S_OK);
    }
    uint32_t blockSize = 0;
    uint64_t freeBlocks = 0, totalBlocks = 0;
    ASSERT_TRUE(Vorn::std_file_system_size(root.c_str(), blockSize, freeBlocks, totalBlocks));
    Common::ReleaseManifest huge;
    huge.m_ProjectName = "alpha";
    huge.m_ReleaseVersion = kV2;
    const unsigned char md5[16] = {};
    for (uint64_t i = 0; i < freeBlocks * blockSize / 0xFFFFFFFFull + 2; ++i)
        ASSERT_EQ(huge.AddUnsorted("big/f" + std::to_string(i) + ".bin", kV2, md5, 0, 0xFFFFFFFF, 0xFFFFFFFF), S_OK);
    ASSERT_EQ(huge.SortEntries(nullptr), S_OK);
    ASSERT_EQ(huge.Save(Served("alpha", kV2)), S_OK);

    QuorTest::LogCapture log;
    EXPECT_TRUE(FAILED(Update()));
    EXPECT_TRUE(log.Contains("Not enough free disk space for the update: ")) << log.Errors();
    EXPECT_EQ(QuorTest::SnapshotDifference(Expected(kV1), Actual()), "");
}

// Validation completes a release folder left without "S_OK" beside a complete one: a file no
// release lists stays in the folder it marks, and so does one that only another installed release
// lists (nothing says that this folder came from it).
TEST_F(UpdateProjectRoadsTest, AValidationCompletingAPartialFolderKeepsWhatItsReleaseDoesNotList) {
    {
        QuorTest::LogCapture quiet(Log::USER);
        ASSERT_EQ(Install(kV1), S_OK);
        ASSERT_EQ(Install(kV2), S_OK);
    }
    std::filesystem::remove(Ok(kV2));
    QuorTest::WriteFile(ReleaseFolder("alpha", kV2) + "/deploy/data/gone.txt", "the user's");
    QuorTest::WriteFile(ReleaseFolder("alpha", kV2) + "/deploy/old/stale.txt", "the user's too");
    QuorTest::LogCapture log;
    ASSERT_EQ(ValidateProject("alpha", fileSystem, server, progress), S_OK) << log.Errors();
    EXPECT_TRUE(QuorTest::Exists(Ok(kV2)));
    QuorTest::TreeSnapshot expected = Expected(kV2);
    expected.merge(Expected(kV1));
    const std::string deploy = "projects/alpha/releases/1.0.0.2/deploy/";
    expected[deploy + "data/gone.txt"] = QuorTest::Md5Hex("the user's");
    expected[deploy + "old/stale.txt"] = QuorTest::Md5Hex("the user's too");
    EXPECT_EQ(QuorTest::SnapshotDifference(Releases(expected), Releases(Actual())), "");
}

// What the program and its user keep in its working folder survives every road to "S_OK" but
// repair and uninstall, byte for byte; the stale copies of the release the folder came from go
// (data/gone.txt, which 1.0.0.2 drops, and bin/run.sh under an old spelling).
class UserFilesTest : public UpdateProjectRoadsTest {
protected:
    struct Road {
        const char* name;
        DWORD planted;                  // the release folder the files are put into, 1.0.0.1 installed
        std::function<void()> run;      // what the user does then; ends in S_OK
        DWORD ends;                     // the complete release whose folder they are in afterwards
        DWORD beside = 0;               // another release complete afterwards (0: none)
    };
    void RunRoads(const std::vector<Road>& roads) {
        for (const Road& road : roads) {
            SCOPED_TRACE(road.name);
            Clear();
            {
                QuorTest::LogCapture quiet(Log::USER);
                ASSERT_EQ(Install(kV1), S_OK);
            }
            const std::string outside = Scratch("outside.txt", "not the tree's");
            const std::string deploy = ReleaseFolder("alpha", road.planted) + "/deploy";
            QuorTest::UserFiles::Plant(deploy, outside);
            QuorTest::WriteFile(deploy + "/Bin/run.sh", "an old spelling");
            QuorTest::LogCapture log;
            road.run();
            EXPECT_TRUE(QuorTest::Exists(Ok(road.ends))) << log.Errors();
            QuorTest::TreeSnapshot expected = Expected(road.ends);
            if (road.beside) expected.merge(Expected(road.beside));
            QuorTest::UserFiles::AddTo(expected,
                                       "projects/alpha/releases/" + Common::ConvertVersion::ToString(road.ends) + "/deploy/");
            EXPECT_EQ(QuorTest::SnapshotDifference(Releases(expected), Releases(Actual())), "");
            EXPECT_TRUE(QuorTest::UserFiles::StillThere(ReleaseFolder("alpha", road.ends) + "/deploy", outside));
            EXPECT_EQ(QuorTest::ReadFile(outside), "not the tree's");
            EXPECT_FALSE(QuorTest::Exists(ReleaseFolder("alpha", road.ends) + "/deployfiles.previous"));
        }
    }
    // An update whose discovery ran (the source's folder moved and given the target's manifest)
    // and whose execution never came.
    void StopAfterTheMove() {
        const InputParameters input{"alpha", INVALID_RELEASE_VERSION, kV2, fileSystem, server, progress};
        const Discover discover(input);
        ASSERT_EQ(discover.m_hr, S_OK);
        ASSERT_NE(discover.m_UpdateInPlace, nullptr);
    }
};

TEST_F(UserFilesTest, SurviveInstallValidationAndUpdatesStoppedOrNot) {
    const auto ok = [](HRESULT hr) { ASSERT_EQ(hr, S_OK); };
    RunRoads({
        {"the complete release installed again", kV1, [&] { ok(Install(kV1)); }, kV1},
        {"validation", kV1, [&] { ok(ValidateProject("alpha", fileSystem, server, progress)); }, kV1},
        {"update in place by whole files", kV1, [&] { ok(Update()); }, kV2},
        {"update stopped after the move, run again", kV1,
         [&] {
             StopAfterTheMove();
             ok(Update());
         },
         kV2},
        {"update failed in the download step, run again", kV1,
         [&] {
             server.FailFile("/quor/projects/alpha/releases/1.0.0.2/files/new/n.txt");
             EXPECT_TRUE(FAILED(Update()));
             server.ClearFaults();
             ManagedFileHelper::Release();  // the rerun comes as a new process
             ok(Update());
         },
         kV2},
        {"update killed between the move and its manifest, run again", kV1,
         [&] {
             // What the move leaves: the source's folder under the target's name, its own manifest in it.
             std::filesystem::remove(Ok(kV1));
             std::filesystem::rename(ReleaseFolder("alpha", kV1), ReleaseFolder("alpha", kV2));
             ok(Update());
         },
         kV2},
        {"update stopped after the move, then validation beside a complete release", kV1,
         [&] {
             StopAfterTheMove();
             ok(Install(kV1));  // validation looks at a project only while a release of it is complete
             ok(ValidateProject("alpha", fileSystem, server, progress));
         },
         kV2, kV1},
    });
}

class UserFilesByPatchesTest : public UserFilesTest {
protected:
    UserFilesByPatchesTest() { withPatches = true; }
};

TEST_F(UserFilesByPatchesTest, SurviveAnUpdateInPlaceByPatches) {
    RunRoads({{"update in place by patches", kV1,
               [&] {
                   QuorTest::LogCapture log;
                   ASSERT_EQ(Update(), S_OK) << log.Errors();
                   EXPECT_TRUE(log.Contains("will be created by patching")) << log.All();
               },
               kV2}});
}

// A reader holds a/t2.bin of 1.0.0.1, whose pair the update to 1.0.0.2 must rewrite (it drops
// that entry): the update fails before it moves the source, which stays complete, also when the
// archive managers were released since the lock was taken; unlocked, the update goes through.
TEST_F(UpdateProjectRoadsTest, AReadersLockStopsTheUpdateBeforeTheSourceIsGivenUp) {
    for (const bool released : {false, true}) {
        SCOPED_TRACE(released ? "managers released after the lock" : "managers kept");
        Clear();
        {
            QuorTest::LogCapture quiet(Log::USER);
            ASSERT_EQ(Install(kV1), S_OK);
        }
        ManagedFileHelper::Release();
        std::string archivePath;
        uint32_t offset = 0, size = 0, handle = 0;
        ASSERT_EQ(ManagedFileHelper::LockFile("alpha", kV1, "a/t2.bin", archivePath, offset, size, handle), S_OK);
        if (released) ManagedFileHelper::Release();  // the lock keeps its own manager
        {
            QuorTest::LogCapture log;
            EXPECT_TRUE(FAILED(Update()));
            EXPECT_TRUE(
                log.HasError("Archived files of alpha 1.0.0.1 are locked by a reader: the update cannot rewrite them."))
                << log.Errors();
        }
        EXPECT_TRUE(QuorTest::Exists(Ok(kV1)));
        EXPECT_FALSE(QuorTest::Exists(ReleaseFolder("alpha", kV2)));
        ASSERT_EQ(ManagedFileHelper::UnlockFile(handle), S_OK);
        EXPECT_EQ(QuorTest::SnapshotDifference(Expected(kV1), Actual()), "");

        QuorTest::LogCapture log;
        ASSERT_EQ(Update(), S_OK) << log.Errors();
        EXPECT_EQ(QuorTest::SnapshotDifference(Expected(kV2), Actual()), "");
    }
}

}  // namespace
}  // namespace Quor::User::UpdateProject
