#include "api/RuntimeEnvironment.h"

#include <gtest/gtest.h>

#include "tests/kit/ReleaseTree.h"
#include "archive/testing/ArchiveTesting.h"

namespace Quor::API::Impl {
namespace {

using Common::ReleaseManifest;
using QuorTest::TreeFile;

constexpr DWORD V1007 = 0x01000007;
constexpr DWORD V1003 = 0x01000003;
constexpr DWORD V1009 = 0x01000009;

class RuntimeEnvironmentTest : public ::testing::Test {
protected:
    QuorTest::ReleaseTree tree;
    Common::ReleaseManifestCache cache;
};

// Which release a working folder belongs to, and what is loaded for it.
TEST_F(RuntimeEnvironmentTest, WorkingFoldersTable) {
    tree.AddProject("game_data", V1007, {{"data/x.ini", 0, "x"}});
    tree.AddProject("tool", 0x01000000, {{"a.txt", 0, "a"}});
    struct Case {
        std::string folder;  // below the root
        HRESULT hr;
        DWORD kind;
        std::string name;
        DWORD version;
        size_t manifests;
        std::string log;
    };
    const Case cases[] = {
        {"projects/game_data/releases/1.0.0.7/deploy/bin", S_OK, RuntimeEnvironment::KIND_PROJECT, "game_data", V1007,
         1, ""},
        {"projects/game_data/releases/1.0.0.7", S_OK, RuntimeEnvironment::KIND_PROJECT, "game_data", V1007, 1, ""},
        // A working folder never ends in "/"; one whose last name ends in "\\" reads as if it did.
        {"projects\\", E_FAIL, RuntimeEnvironment::KIND_PROJECT, "", 0, 0, "Incomplete path"},
        {"projects", E_FAIL, RuntimeEnvironment::KIND_UNDETERMINED, "", 0, 0, "Did not find keywords"},
        {"system", E_FAIL, RuntimeEnvironment::KIND_UNDETERMINED, "", 0, 0,
         "Did not find keywords \"projects\" or \"solutions\" in path"},
        {"projects/game_data/releases/seven/deploy", E_FAIL, RuntimeEnvironment::KIND_PROJECT, "game_data", 0, 0,
         "Failed to determine name and version"},
        {"projects/game_data/deploy", E_FAIL, RuntimeEnvironment::KIND_PROJECT, "game_data", 0, 0,
         "Failed to determine name and version"},
        {"projects/tool/releases/1.0.0.0/deploy/projects/x", E_FAIL, RuntimeEnvironment::KIND_PROJECT, "", 0, 0,
         "Failed to determine name and version"},
        {"projects/game_data/releases/1.0.0.8/deploy", E_FAIL, RuntimeEnvironment::KIND_PROJECT, "game_data",
         0x01000008, 0, "Failure to load project manifest"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        const auto cwd = tree.Enter(tree.Root() + "/" + c.folder);
        ArchiveTesting::LogRecorder log(Log::WARNING);
        HRESULT hr = 0x1234;
        RuntimeEnvironment environment(hr, cache, false);
        EXPECT_EQ(hr, c.hr);
        EXPECT_EQ(environment.GetKind(), c.kind);
        EXPECT_EQ(environment.GetName(), c.name);
        EXPECT_EQ(environment.GetVersion(), c.version);
        EXPECT_EQ(environment.GetManifests().size(), c.manifests);
        if (!c.log.empty()) {
            EXPECT_TRUE(log.Contains(c.log)) << log.All();
        }
        if (c.manifests == 0) {
            EXPECT_EQ(environment.GetManifestData("data/x.ini"), nullptr);
        }
    }
}

TEST_F(RuntimeEnvironmentTest, ProjectMapAndDiskPaths) {
    tree.AddProject("game_data", V1009,
                    {{"Data/Managed.txt", ReleaseManifest::FLAG_MANAGED, "m", V1003},
                     {"Data/Both.txt", ReleaseManifest::FLAG_MANAGED | ReleaseManifest::FLAG_ARCHIVED, "b", V1003},
                     {"Data/Stored.bin", ReleaseManifest::FLAG_ARCHIVED, "s", V1003},
                     {"Bin/Run.txt", 0, "r"}});
    const auto cwd = tree.Enter(tree.ProjectRelease("game_data", V1009) + "/deploy/Bin");
    HRESULT hr = E_FAIL;
    RuntimeEnvironment environment(hr, cache, false);
    ASSERT_EQ(hr, S_OK);
    EXPECT_EQ(environment.GetDeployFolder(), tree.ProjectRelease("game_data", V1009) + "/deploy");

    struct Case {
        std::string lookup;
        std::string path;
    };
    const std::string project = tree.Root() + "/projects/game_data";
    const Case cases[] = {
        {"data/managed.txt", project + "/managedfiles/1.0.0.3/Data/Managed.txt"},
        {"DATA\\\\BOTH.TXT", project + "/managedfiles/1.0.0.3/Data/Both.txt"},
        {"data//stored.bin", project + "/filearchives/1.0.0.3/Data/Stored.bin"},
        {"bin\\run.txt", tree.ProjectRelease("game_data", V1009) + "/deploy/Bin/Run.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lookup);
        const ManifestData* data = environment.GetManifestData(c.lookup);
        ASSERT_NE(data, nullptr);
        std::string path = c.lookup;
        Helper::FindBestPath(environment, data->manifest, data->entry, path);
        EXPECT_EQ(path, c.path);
    }
    EXPECT_EQ(environment.GetManifestData("data/missing.txt"), nullptr);
    std::string unchanged = "as given";
    Helper::FindBestPath(environment, nullptr, nullptr, unchanged);
    EXPECT_EQ(unchanged, "as given");
}

TEST_F(RuntimeEnvironmentTest, SolutionMapsSharedPathsToTheHigherPriorityProject) {
    tree.AddProject("low", 0x01000001, {{"data/x.ini", 0, "low"}, {"data/low.ini", 0, "l"}});
    tree.AddProject("high", 0x02000000, {{"data/x.ini", ReleaseManifest::FLAG_ARCHIVED, "high"}});
    tree.AddSolution("sol", 0x0000000C, {{"low", 0x01000001, 1}, {"high", 0x02000000, 9}});
    const auto cwd = tree.Enter(tree.SolutionRelease("sol", 0x0000000C) + "/deploy");
    HRESULT hr = E_FAIL;
    RuntimeEnvironment environment(hr, cache, false);
    ASSERT_EQ(hr, S_OK);
    EXPECT_EQ(environment.GetKind(), RuntimeEnvironment::KIND_SOLUTION);
    ASSERT_EQ(environment.GetManifests().size(), 2u);
    EXPECT_EQ(environment.GetManifests()[0]->m_ProjectName, "high");
    EXPECT_EQ(environment.GetManifestData("DATA/X.INI")->manifest->m_ProjectName, "high");
    // A deploy file of a project is looked for in the solution's deploy folder.
    const ManifestData* low = environment.GetManifestData("data/low.ini");
    ASSERT_NE(low, nullptr);
    std::string path;
    Helper::FindBestPath(environment, low->manifest, low->entry, path);
    EXPECT_EQ(path, tree.SolutionRelease("sol", 0x0000000C) + "/deploy/data/low.ini");
}

TEST_F(RuntimeEnvironmentTest, FailedSolutionKeepsWhatLoadedAndDisabledLoadsNothing) {
    tree.AddProject("high", 0x02000000, {{"data/x.ini", 0, "high"}});
    tree.AddSolution("sol", 0x0000000C, {{"missing", 0x01000001, 1}, {"high", 0x02000000, 9}});
    const auto cwd = tree.Enter(tree.SolutionRelease("sol", 0x0000000C) + "/deploy");
    {
        ArchiveTesting::LogRecorder log;
        HRESULT hr = S_OK;
        RuntimeEnvironment environment(hr, cache, false);
        EXPECT_TRUE(FAILED(hr));
        EXPECT_TRUE(log.Contains("Failure to load manifest")) << log.All();
        EXPECT_EQ(environment.GetManifests().size(), 1u);
        EXPECT_NE(environment.GetManifestData("data/x.ini"), nullptr);
    }
    ArchiveTesting::LogRecorder log(Log::WARNING);
    HRESULT hr = E_FAIL;
    RuntimeEnvironment disabled(hr, cache, true);
    EXPECT_EQ(hr, S_OK);
    EXPECT_TRUE(disabled.GetManifests().empty());
    EXPECT_TRUE(log.Contains("Quor File loading is disabled."));
}

}  // namespace
}  // namespace Quor::API::Impl
