#include "install/InstalledState.h"

#include <gtest/gtest.h>

#include <memory>

#include "common/LocalRootFolder.h"
#include "common/ReleaseManifestCache.h"
#include "common/testing/LogCapture.h"
#include "tests/kit/InstallTreeTest.h"
#include "remote/ReleaseInstallationServices.h"

namespace Quor::User {
namespace {

using InstallTesting::V;
using QuorTest::Exists;
using QuorTest::MakeDirs;
using QuorTest::WriteFile;

class InstalledStateTest : public InstallTesting::InstallTreeTest {
protected:
    void Release(const std::string& folder, const std::string& name, bool complete) {
        MakeDirs(root + folder + "/releases/" + name);
        if (complete) WriteFile(root + folder + "/releases/" + name + "/S_OK", "");
    }
    void Manifest(const std::string& project, DWORD version) {
        Common::ReleaseManifest manifest;
        manifest.m_ProjectName = project;
        manifest.m_ReleaseVersion = version;
        const unsigned char md5[16] = {};
        ASSERT_EQ(manifest.Add("a.txt", version, md5, 0, 1, 1), S_OK);
        const std::string folder = ReleaseFolder(project, version);
        MakeDirs(folder);
        ASSERT_EQ(manifest.Save(folder + "/releasemanifest"), S_OK);
        WriteFile(folder + "/S_OK", "");
    }
};

// Both kinds of installed things follow the same rules; only the folder and the function differ.
struct ReleaseKind {
    const char* folder;
    HRESULT (*enumerate)(const std::string&, Common::LocalFileSystem&, std::vector<DWORD>&, bool);
};
void PrintTo(const ReleaseKind& kind, std::ostream* out) { *out << kind.folder; }

class InstalledReleasesTest : public InstalledStateTest, public ::testing::WithParamInterface<ReleaseKind> {};

TEST_P(InstalledReleasesTest, OnlyCanonicalCompleteReleasesCountAndTheListIsSorted) {
    const std::string folder = std::string(GetParam().folder) + "/game";
    Release(folder, "0.0.0.1", true);
    Release(folder, "0.0.0.3", false);
    Release(folder, "x", true);
    Release(folder, "0.0.0.2", true);
    Release(folder, "1.2.3.4-old", true);
    Release(folder, "1.2.3.256", true);
    const std::string cwd = Cwd();
    for (const bool includeInvalid : {false, true}) {
        QuorTest::LogCapture log;
        std::vector<DWORD> releases{V(255, 0, 0, 0)};
        ASSERT_EQ(GetParam().enumerate("game", fileSystem, releases, includeInvalid), S_OK);
        const std::vector<DWORD> expected =
            includeInvalid ? std::vector<DWORD>{V(0, 0, 0, 1), V(0, 0, 0, 2), V(0, 0, 0, 3), V(255, 0, 0, 0)}
                           : std::vector<DWORD>{V(0, 0, 0, 1), V(0, 0, 0, 2), V(255, 0, 0, 0)};
        EXPECT_EQ(releases, expected) << "include invalid: " << includeInvalid;
        for (const char* name : {"x", "1.2.3.4-old", "1.2.3.256"})
            EXPECT_TRUE(log.HasError(std::string("Found invalid release \"") + name + "\".")) << name;
        EXPECT_EQ(Cwd(), cwd) << "the working folder is restored";
    }
}

TEST_P(InstalledReleasesTest, AMissingReleasesFolderIsCreated) {
    std::vector<DWORD> releases;
    ASSERT_EQ(GetParam().enumerate("fresh", fileSystem, releases, true), S_OK);
    EXPECT_TRUE(releases.empty());
    EXPECT_TRUE(Exists(root + GetParam().folder + "/fresh/releases"));
}

TEST_P(InstalledReleasesTest, ANameThatWouldLeaveItsFolderIsRefusedAndNothingIsCreated) {
    for (const char* name : {"..", "a/b", "", "."}) {
        std::vector<DWORD> releases;
        EXPECT_TRUE(FAILED(GetParam().enumerate(name, fileSystem, releases, true))) << name;
        EXPECT_TRUE(releases.empty());
    }
    EXPECT_FALSE(Exists(root + GetParam().folder + "/a"));
    EXPECT_FALSE(Exists(root + "/releases"));
}

INSTANTIATE_TEST_SUITE_P(Kinds, InstalledReleasesTest,
                         ::testing::Values(ReleaseKind{"/projects", &EnumerateInstalledProjectReleases},
                                           ReleaseKind{"/solutions", &EnumerateInstalledSolutionReleases}),
                         [](const auto& param) { return std::string(param.param.folder + 1); });

TEST_F(InstalledStateTest, AProjectNamedLikeTheRootFolderDoesNotMoveTheRoot) {
    Manifest("GameQUOR", V(1, 0, 0, 1));
    std::vector<DWORD> releases;
    ASSERT_EQ(EnumerateInstalledProjectReleases("GameQUOR", fileSystem, releases, false), S_OK);
    EXPECT_EQ(releases, std::vector<DWORD>{V(1, 0, 0, 1)});
    EXPECT_EQ(Common::LocalRootFolder::Get(), root);

    std::vector<Common::ReleaseManifest*> manifests;
    ASSERT_EQ(LoadManifestsForInstalledReleases("GameQUOR", fileSystem, progress, manifests, false), S_OK);
    ASSERT_EQ(manifests.size(), 1u);
    EXPECT_EQ(manifests[0]->m_ProjectName, "GameQUOR");
    for (auto* manifest : manifests) delete manifest;

    ASSERT_EQ(EnsureProjectInstalled("OtherQUOR", fileSystem), S_OK);
    EXPECT_TRUE(Exists(root + "/projects/OtherQUOR/managedfiles"));
}

TEST_F(InstalledStateTest, InstalledProjectsAndSolutionsAreTheirFolders) {
    MakeDirs(root + "/projects/alpha");
    MakeDirs(root + "/projects/beta");
    WriteFile(root + "/projects/stray.txt", "");
    MakeDirs(root + "/solutions/suite");
    std::vector<std::string> projects{"kept"};
    ASSERT_EQ(EnumerateInstalledProjects(fileSystem, projects), S_OK);
    std::sort(projects.begin() + 1, projects.end());
    EXPECT_EQ(projects, (std::vector<std::string>{"kept", "alpha", "beta"}));
    std::vector<std::string> solutions;
    ASSERT_EQ(EnumerateInstalledSolutions(fileSystem, solutions), S_OK);
    EXPECT_EQ(solutions, std::vector<std::string>{"suite"});
}

TEST_F(InstalledStateTest, WithoutTheTopFolderTheQueriesFailAndCreateNothing) {
    QuorTest::RemoveTree(root + "/projects");
    const std::string cwd = Cwd();
    QuorTest::LogCapture log;
    std::vector<std::string> projects;
    EXPECT_TRUE(FAILED(EnumerateInstalledProjects(fileSystem, projects)));
    EXPECT_TRUE(FAILED(EnsureProjectInstalled("game", fileSystem)));
    EXPECT_TRUE(log.HasError("Failed to enumerate installed projects"));
    EXPECT_FALSE(Exists(root + "/projects"));
    EXPECT_EQ(Cwd(), cwd);
}

TEST_F(InstalledStateTest, EnsureInstalledMakesTheSkeletonOfAMissingNameOnly) {
    MakeDirs(root + "/projects/game/releases");
    ASSERT_EQ(EnsureProjectInstalled("Game", fileSystem), S_OK);
    EXPECT_TRUE(Exists(root + "/projects/Game/releases"));
    EXPECT_TRUE(Exists(root + "/projects/Game/managedfiles"));
    EXPECT_FALSE(Exists(root + "/projects/game/managedfiles")) << "an installed project is left alone";
    ASSERT_EQ(InstallProject("game", fileSystem), S_OK);
    EXPECT_TRUE(Exists(root + "/projects/game/managedfiles"));
    EXPECT_FALSE(Exists(root + "/projects/game/filearchives"));

    ASSERT_EQ(EnsureSolutionInstalled("suite", fileSystem), S_OK);
    EXPECT_TRUE(Exists(root + "/solutions/suite/releases"));
    EXPECT_TRUE(FAILED(InstallSolution("../escape", fileSystem)));
    EXPECT_FALSE(Exists(root + "/escape"));
}

class ManifestLoadTest : public InstalledStateTest {
protected:
    ManifestLoadTest() {
        Manifest("game", V(1, 0, 0, 1));
        Manifest("game", V(1, 0, 0, 2));
        Manifest("game", V(1, 0, 0, 3));
        WriteFile(ReleaseFolder("game", V(1, 0, 0, 2)) + "/releasemanifest", "not a manifest");
    }
};

TEST_F(ManifestLoadTest, TheListFormFailsAsAWholeOnOneUnreadableManifest) {
    QuorTest::LogCapture log(Log::USER);
    std::vector<Common::ReleaseManifest*> manifests;
    EXPECT_TRUE(FAILED(LoadManifestsForInstalledReleases("game", fileSystem, progress, manifests, false)));
    EXPECT_TRUE(manifests.empty());
}

TEST_F(ManifestLoadTest, TheCacheFormSkipsAnUnreadableManifest) {
    QuorTest::LogCapture log(Log::USER);
    Common::ReleaseManifestCache cache;
    ASSERT_EQ(LoadManifestsForInstalledReleases("game", fileSystem, progress, cache, false), S_OK);
    ASSERT_EQ(cache.Manifests().size(), 2u);
    EXPECT_EQ(cache.Manifests().begin()->first.second, V(1, 0, 0, 1));
    EXPECT_EQ(cache.Manifests().rbegin()->first.second, V(1, 0, 0, 3));
}

TEST_F(ManifestLoadTest, ACancellationFlagStopsBothForms) {
    cancel = 1;
    QuorTest::LogCapture log;
    std::vector<Common::ReleaseManifest*> manifests;
    EXPECT_EQ(LoadManifestsForInstalledReleases("game", fileSystem, progress, manifests, false), E_ABORT);
    EXPECT_TRUE(manifests.empty());
    Common::ReleaseManifestCache cache;
    EXPECT_EQ(LoadManifestsForInstalledReleases("game", fileSystem, progress, cache, false), E_ABORT);
    EXPECT_TRUE(cache.Manifests().empty());
    EXPECT_TRUE(log.HasError("Cancellation request detected, aborting"));
}

TEST_F(InstalledStateTest, TheRemoteLayerReachesTheEnumeratorOnceRegistered) {
    Manifest("game", V(2, 0, 0, 0));
    RegisterInstalledStateServices();
    std::vector<DWORD> releases;
    EXPECT_EQ(Services::EnumerateInstalledProjectReleases("game", fileSystem, releases, false), S_OK);
    EXPECT_EQ(releases, std::vector<DWORD>{V(2, 0, 0, 0)});
    SetInstalledProjectReleasesEnumerator(nullptr);
}

}  // namespace
}  // namespace Quor::User
