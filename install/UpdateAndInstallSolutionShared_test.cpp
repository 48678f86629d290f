#include "install/UpdateAndInstallSolutionShared.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "common/ConfigurationManifest.h"
#include "common/ReleaseVersion.h"
#include "common/testing/LogCapture.h"
#include "tests/kit/content/InstalledTree.h"
#include "install/testing/MockRemoteFileServer.h"

namespace Quor::User::UpdateAndInstallSolutionShared {
namespace {

using InstallTesting::V;
using PROJECT = Common::SolutionManifest::PROJECT;
using ::testing::_;
using ::testing::DoAll;
using ::testing::Return;
using ::testing::SetArgReferee;

constexpr DWORD kRelease = V(2, 0, 0, 1);

PROJECT Project(const std::string& name, DWORD version, DWORD priority) {
    PROJECT project;
    project.name = name;
    project.version = version;
    project.priority = priority;
    return project;
}

class DeployFolderTest : public InstallTesting::InstallTreeTest {
protected:
    std::string SolutionFile(const std::string& name) const {
        return root + "/solutions/suite/releases/2.0.0.1/deploy/" + name;
    }
    std::string ProjectOk(const std::string& project) const { return ReleaseFolder(project, V(1, 0, 0, 1)) + "/S_OK"; }
};

TEST_F(DeployFolderTest, TheHighestPriorityProvidesEachPlainFileUnderItsOwnSpelling) {
    InstallTesting::WriteInstalledProject(root, "low", V(1, 0, 0, 1),
                                          {{"data/a.txt", "low a"}, {"low.txt", "low"}, {"bin/x", "low x"}});
    InstallTesting::WriteInstalledProject(
        root, "high", V(1, 0, 0, 1),
        {{"Data/A.TXT", "high a"}, {"bin/x", "high x"}, {"m.dat", "managed", 0x01}, {"arch.bin", "archived", 0x02}});
    std::vector<PROJECT> projects{Project("low", V(1, 0, 0, 1), 1), Project("high", V(1, 0, 0, 1), 0xFFFFFFFF)};
    QuorTest::LogCapture log;
    ASSERT_EQ(CopyDeployFolder(projects, "suite", kRelease, fileSystem, progress), S_OK) << log.Errors();
    EXPECT_EQ(projects[0].name, "high");
    EXPECT_EQ(QuorTest::ReadFile(SolutionFile("Data/A.TXT")), "high a");
    EXPECT_FALSE(QuorTest::Exists(SolutionFile("data/a.txt")));
    EXPECT_EQ(QuorTest::ReadFile(SolutionFile("bin/x")), "high x");
    EXPECT_EQ(QuorTest::ReadFile(SolutionFile("low.txt")), "low");
    EXPECT_FALSE(QuorTest::Exists(SolutionFile("m.dat")));
    EXPECT_FALSE(QuorTest::Exists(SolutionFile("arch.bin")));
    EXPECT_TRUE(log.Has(Log::VERBOSE, "Skipping \"data/a.txt\" from \"low\" version 1.0.0.1 because overridden"));
}

TEST_F(DeployFolderTest, EqualPrioritiesKeepTheirOrder) {
    std::vector<PROJECT> projects;
    for (int i = 0; i < 40; ++i) {
        const std::string name = "p" + std::to_string(i);
        InstallTesting::WriteInstalledProject(root, name, V(1, 0, 0, 1), {{"same.txt", name}});
        projects.push_back(Project(name, V(1, 0, 0, 1), i % 2 ? 7 : 3));
    }
    Common::ReleaseManifestCache cache;
    std::vector<UNMANAGED_FILE> files;
    ASSERT_EQ(GatherFiles(projects, cache, files, progress), S_OK);
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(projects[i].name, "p" + std::to_string(i < 20 ? 2 * i + 1 : 2 * (i - 20))) << i;
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].projectIndex, 0u);
}

TEST_F(DeployFolderTest, AProjectWithoutReadableManifestFailsTheGathering) {
    InstallTesting::WriteInstalledProject(root, "kept", V(1, 0, 0, 1), {{"k.txt", "k"}});
    std::vector<PROJECT> projects{Project("gone", V(1, 0, 0, 1), 9), Project("kept", V(1, 0, 0, 1), 1)};
    QuorTest::LogCapture log(Log::ERROR);
    EXPECT_TRUE(FAILED(CopyDeployFolder(projects, "suite", kRelease, fileSystem, progress)));
    EXPECT_TRUE(log.HasError("Failed to get the releas manifest for project"));
    EXPECT_TRUE(log.HasError("Failed to gather files"));
    EXPECT_FALSE(QuorTest::Exists(SolutionFile("k.txt")));
}

TEST_F(DeployFolderTest, CopyReplacesReadOnlyFilesAndAMissingSourceUnmarksItsProject) {
    InstallTesting::WriteInstalledProject(root, "alpha", V(1, 0, 0, 1), {{"a.txt", "new a"}, {"b.txt", "b"}});
    const std::vector<PROJECT> projects{Project("alpha", V(1, 0, 0, 1), 1)};
    QuorTest::WriteFile(SolutionFile("a.txt"), "old a");
    ASSERT_EQ(chmod(SolutionFile("a.txt").c_str(), 0444), 0);
    QuorTest::LogCapture log(Log::ERROR);
    ASSERT_EQ(CopyUnmanagedFiles({{"a.txt", 0}}, projects, "suite", kRelease, fileSystem, progress), S_OK);
    EXPECT_EQ(QuorTest::ReadFile(SolutionFile("a.txt")), "new a");

    ASSERT_EQ(fileSystem.DeleteFile(Deploy("alpha", V(1, 0, 0, 1), "b.txt")), S_OK);
    EXPECT_TRUE(FAILED(CopyUnmanagedFiles({{"b.txt", 0}}, projects, "suite", kRelease, fileSystem, progress)));
    EXPECT_FALSE(QuorTest::Exists(ProjectOk("alpha")));
    EXPECT_TRUE(log.HasError("Failed to copy unmanaged file \"" + Deploy("alpha", V(1, 0, 0, 1), "b.txt") +
                             "\" to solution deploy folder"));
}

TEST_F(DeployFolderTest, DeleteStopsAtTheFirstMissingFileAndEmptyListsTouchNothing) {
    QuorTest::WriteFile(SolutionFile("a.txt"), "a");
    QuorTest::WriteFile(SolutionFile("c.txt"), "c");
    const std::vector<PROJECT> projects;
    EXPECT_EQ(CopyUnmanagedFiles({}, projects, "suite", kRelease, fileSystem, progress), S_OK);
    EXPECT_EQ(DeleteUnmanagedFiles({}, "suite", kRelease, fileSystem, progress), S_OK);
    QuorTest::LogCapture log(Log::ERROR);
    EXPECT_TRUE(FAILED(DeleteUnmanagedFiles({{"a.txt", 0}, {"b.txt", 0}, {"c.txt", 0}}, "suite", kRelease, fileSystem,
                                            progress)));
    EXPECT_FALSE(QuorTest::Exists(SolutionFile("a.txt")));
    EXPECT_TRUE(QuorTest::Exists(SolutionFile("c.txt")));
    EXPECT_TRUE(log.HasError("Failed to delete unussed unmanaged file \"" + SolutionFile("b.txt") + "\""));
}

TEST_F(DeployFolderTest, ConfigurationManifestListsNamesInByteOrderAndRefusesDuplicates) {
    const std::string path = root + "/solutions/suite/releases/2.0.0.1/configurationmanifest";
    QuorTest::WriteFile(root + "/solutions/suite/releases/2.0.0.1/deploy/.keep", "");
    ASSERT_EQ(WriteConfigurationFile("suite", kRelease, "en_US",
                                     {Project("beta", 1, 1), Project("Zeta", 1, 1), Project("alpha", 1, 1)}),
              S_OK);
    Common::ConfigurationManifest written;
    ASSERT_EQ(written.Load(path), S_OK);
    EXPECT_EQ(written.m_Name, "en_US");
    EXPECT_EQ(written.m_Projects, (std::vector<std::string>{"Zeta", "alpha", "beta"}));

    ASSERT_EQ(fileSystem.DeleteFile(path), S_OK);
    QuorTest::LogCapture log(Log::ERROR);
    EXPECT_EQ(WriteConfigurationFile("suite", kRelease, "en_US", {Project("beta", 1, 1), Project("beta", 2, 1)}),
              E_FAIL);
    EXPECT_TRUE(log.HasError("Failed to add project"));
    EXPECT_FALSE(QuorTest::Exists(path));
}

class ChooseSolutionVersionTest : public ::testing::Test {
protected:
    signed char cancel = 0;
    AutoUpdateProgress progress{nullptr, &cancel, 0};
    ::testing::StrictMock<InstallTesting::MockRemoteFileServer> server;
};

// The choice itself is shared with the project version choice (and tested there).
TEST_F(ChooseSolutionVersionTest, AsksForTheSolutionsListingAndLogsVersionsAsNumbers) {
    const std::vector<DWORD> offered{V(1, 0, 0, 1), V(1, 0, 0, 3)};
    EXPECT_CALL(server, EnumerateAvailableSolutionReleases("suite", _, 1u))
        .WillOnce(DoAll(SetArgReferee<1>(offered), Return(S_OK)));
    EXPECT_CALL(server, EnumerateAvailableSolutionReleases("suite", _, 0u))
        .WillOnce(DoAll(SetArgReferee<1>(offered), Return(S_OK)));
    QuorTest::LogCapture log;
    DWORD chosen = 0;
    EXPECT_EQ(ChooseSolutionVersion("suite", INVALID_RELEASE_VERSION, server, chosen, progress), S_OK);
    EXPECT_EQ(chosen, V(1, 0, 0, 3));
    EXPECT_EQ(ChooseSolutionVersion("suite", V(1, 0, 0, 0), server, chosen, progress), E_FAIL);
    EXPECT_EQ(chosen, V(1, 0, 0, 3));
    EXPECT_TRUE(log.HasError("Solution release 16777216 is not available")) << log.Errors();
}

TEST_F(ChooseSolutionVersionTest, AnyReleaseCountsAsAvailableWithoutAskingTheServer) {
    bool available = false;
    EXPECT_EQ(IsSolutionReleaseAvailable("suite", V(9, 9, 9, 9), server, available), S_OK);
    EXPECT_TRUE(available);
}

}  // namespace
}  // namespace Quor::User::UpdateAndInstallSolutionShared
