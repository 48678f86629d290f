#include "install/InstalledSolutionInfo.h"

#include <gtest/gtest.h>

#include "common/ReleaseVersion.h"
#include "common/testing/LogCapture.h"
#include "tests/kit/content/InstalledTree.h"

namespace Quor::User {
namespace {

using InstallTesting::V;
using PROJECT = Common::SolutionManifest::PROJECT;

PROJECT Project(const std::string& name, DWORD version) {
    PROJECT project;
    project.name = name;
    project.version = version;
    return project;
}

class InstalledSolutionInfoTest : public InstallTesting::InstallTreeTest {
protected:
    // suite 0.0.0.1 and 0.0.0.2 (game 0.0.0.5 and kit 0.0.0.1; the second lists game at 0.0.0.4),
    // and three releases of "other" for the list searches.
    void SetUp() override {
        InstallTesting::WriteInstalledSolution(root, "suite", V(0, 0, 0, 1), "en_US",
                                               {{"game", V(0, 0, 0, 5), 1}, {"kit", V(0, 0, 0, 1), 2}});
        InstallTesting::WriteInstalledSolution(root, "suite", V(0, 0, 0, 2), "en_US", {{"game", V(0, 0, 0, 4), 1}});
        for (DWORD v = 1; v <= 3; ++v)
            InstallTesting::WriteInstalledSolution(root, "other", V(0, 0, 0, v), "en_US", {{"kit", v, 1}});
    }

    InstalledSolutionInfoList Load(const std::string& solution, HRESULT expected = S_OK) {
        InstalledSolutionInfoList infos;
        EXPECT_EQ(LoadInstalledSolutionInfo(solution, fileSystem, infos), expected);
        return infos;
    }
    static DWORD VersionOf(const std::unique_ptr<InstalledSolutionInfo>& info) {
        return info->m_SolutionManifest->m_Version;
    }
};

TEST_F(InstalledSolutionInfoTest, LoadsEveryCompleteReleaseAscendingWithItsProjects) {
    InstallTesting::WriteInstalledSolution(root, "suite", V(0, 0, 0, 3), "en_US", {{"game", 1, 1}});
    ASSERT_EQ(fileSystem.DeleteFile(root + "/solutions/suite/releases/0.0.0.3/S_OK"), S_OK);  // incomplete
    const InstalledSolutionInfoList infos = Load("suite");
    ASSERT_EQ(infos.size(), 2u);
    EXPECT_EQ(VersionOf(infos[0]), V(0, 0, 0, 1));
    EXPECT_EQ(VersionOf(infos[1]), V(0, 0, 0, 2));
    ASSERT_EQ(infos[0]->m_Projects.size(), 2u);
    EXPECT_EQ(infos[0]->m_Projects[0].name, "game");
    EXPECT_EQ(infos[0]->m_ConfigurationManifest->m_Name, "en_US");
    EXPECT_TRUE(infos[0]->m_Text.empty());
}

TEST_F(InstalledSolutionInfoTest, AReleaseWithoutConfigurationEmptiesTheCallersList) {
    ASSERT_EQ(fileSystem.DeleteFile(root + "/solutions/suite/releases/0.0.0.2/configurationmanifest"), S_OK);
    QuorTest::LogCapture log(Log::ERROR);
    InstalledSolutionInfoList infos = Load("other");
    ASSERT_EQ(infos.size(), 3u);
    EXPECT_TRUE(FAILED(LoadInstalledSolutionInfo("suite", fileSystem, infos)));
    EXPECT_TRUE(infos.empty());
    EXPECT_TRUE(log.HasError("Failed to load solution information for suite version 2")) << log.Errors();
}

TEST_F(InstalledSolutionInfoTest, ProjectReleaseUseComparesNamesWithoutCaseAndVersionsExactly) {
    InstalledSolutionInfoList infos = Load("suite");
    ASSERT_EQ(infos.size(), 2u);
    InstalledSolutionInfoList first;
    first.push_back(std::move(infos[0]));
    InstalledSolutionInfoList second;
    second.push_back(std::move(infos[1]));
    EXPECT_TRUE(IsProjectReleaseUsedBySolutions(Project("Game", V(0, 0, 0, 5)), first));
    EXPECT_FALSE(IsProjectReleaseUsedBySolutions(Project("Game", V(0, 0, 0, 5)), second));
    EXPECT_FALSE(IsProjectReleaseUsedBySolutions(Project("Game", V(0, 0, 0, 5)), {}));
}

// Every installed solution counts; one whose releases cannot be read makes every project release
// needed.
TEST_F(InstalledSolutionInfoTest, AProjectReleaseIsNeededByAnySolutionThatListsItOrByOneUnreadable) {
    InstalledSolutionInfoList others;
    ASSERT_TRUE(LoadOtherSolutions("suite", fileSystem, others));
    EXPECT_EQ(others.size(), 3u);  // other's three releases, none of suite's
    EXPECT_TRUE(IsProjectReleaseNeededBySolutions(Project("game", V(0, 0, 0, 4)), fileSystem));  // suite 0.0.0.2
    EXPECT_TRUE(IsProjectReleaseNeededBySolutions(Project("KIT", V(0, 0, 0, 3)), fileSystem));   // other 0.0.0.3
    EXPECT_FALSE(IsProjectReleaseNeededBySolutions(Project("game", V(0, 0, 0, 3)), fileSystem));

    ASSERT_EQ(fileSystem.DeleteFile(root + "/solutions/other/releases/0.0.0.2/configurationmanifest"), S_OK);
    QuorTest::LogCapture log(Log::ERROR);
    InstalledSolutionInfoList unread;
    EXPECT_FALSE(LoadOtherSolutions("suite", fileSystem, unread));
    EXPECT_TRUE(IsProjectReleaseNeededBySolutions(Project("game", V(0, 0, 0, 3)), fileSystem));
    EXPECT_TRUE(log.HasError("Failed to read the installed releases of solution other: every project release is kept."))
        << log.Errors();
}

TEST_F(InstalledSolutionInfoTest, ContainsProjectReleaseWhereByteAndCaseBlindOrderDiffer) {
    // Byte order puts "Zeta" before "alpha" and "kivA" before "kiv_x"; the list is case-blind sorted.
    InstallTesting::WriteInstalledSolution(
        root, "mixed", V(0, 0, 0, 1), "en_US",
        {{"Zeta", 1, 1}, {"alpha", 2, 1}, {"kiv_x", 3, 1}, {"kivA", 4, 1}, {"beta", 5, 1}});
    std::unique_ptr<InstalledSolutionInfo> info;
    ASSERT_EQ(LoadInstalledSolutionInfo("mixed", V(0, 0, 0, 1), info), S_OK);
    for (const auto& [name, version] : std::vector<std::pair<std::string, DWORD>>{
             {"Zeta", 1}, {"zeta", 1}, {"alpha", 2}, {"ALPHA", 2}, {"kiv_x", 3}, {"kivA", 4}, {"KIVA", 4}, {"beta", 5}})
        EXPECT_TRUE(info->ContainsProjectRelease(Project(name, version))) << name;
    EXPECT_FALSE(info->ContainsProjectRelease(Project("kivA", 3)));
    EXPECT_FALSE(info->ContainsProjectRelease(Project("kiv", 3)));
}

TEST_F(InstalledSolutionInfoTest, RemoveTakesTheMiddleRecordAndKeepsTheOrder) {
    InstalledSolutionInfoList infos = Load("other");
    ASSERT_EQ(infos.size(), 3u);
    std::unique_ptr<InstalledSolutionInfo> out;
    RemoveInstalledSolutionInfo("OTHER", V(0, 0, 0, 2), infos, out);
    ASSERT_TRUE(out);
    EXPECT_EQ(VersionOf(out), V(0, 0, 0, 2));
    ASSERT_EQ(infos.size(), 2u);
    EXPECT_EQ(VersionOf(infos[0]), V(0, 0, 0, 1));
    EXPECT_EQ(VersionOf(infos[1]), V(0, 0, 0, 3));

    std::unique_ptr<InstalledSolutionInfo> absent;
    RemoveInstalledSolutionInfo("other", V(0, 0, 0, 9), infos, absent);
    EXPECT_FALSE(absent);
    EXPECT_EQ(infos.size(), 2u);
    infos.insert(infos.begin(), nullptr);  // null entries are passed over
    EXPECT_EQ(FindInstalledSolutionInfo("other", V(0, 0, 0, 3), infos), infos[2].get());
    EXPECT_EQ(FindInstalledSolutionInfo("other", V(0, 0, 0, 2), infos), nullptr);
}

TEST_F(InstalledSolutionInfoTest, CacheLoadsAFailingReleaseOnce) {
    InstalledSolutionInfoCache cache;
    QuorTest::LogCapture log(Log::ERROR);
    EXPECT_FALSE(cache.Get("missing", V(0, 0, 0, 1)));
    EXPECT_FALSE(cache.Get("missing", V(0, 0, 0, 1)));
    EXPECT_EQ(log.Count("Failed to load solution information"), 1u);
    const auto info = cache.Get("suite", V(0, 0, 0, 1));
    ASSERT_TRUE(info);
    EXPECT_EQ(cache.Get("suite", V(0, 0, 0, 1)), info);
    EXPECT_FALSE(cache.Get("SUITE", V(0, 0, 0, 1)) == info);  // keys compare byte for byte
}

TEST_F(InstalledSolutionInfoTest, FileSearchTakesTheFirstProjectInListOrder) {
    InstallTesting::WriteInstalledProject(root, "game", V(0, 0, 0, 5), {{"data/a.txt", "game"}});
    InstallTesting::WriteInstalledProject(root, "kit", V(0, 0, 0, 1), {{"data/a.txt", "kit"}, {"kit.txt", "k"}});
    std::unique_ptr<InstalledSolutionInfo> info;
    ASSERT_EQ(LoadInstalledSolutionInfo("suite", V(0, 0, 0, 1), info), S_OK);
    Common::ReleaseManifestCache cache;
    EXPECT_TRUE(AreSolutionProjectManifestsLoadable(*info, cache));
    const auto* entry = FindFileInSolutionProjects("DATA/A.TXT", INVALID_RELEASE_VERSION, 0, 0, *info, cache);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->version, V(0, 0, 0, 5));  // game's
    EXPECT_NE(FindFileInSolutionProjects("kit.txt", V(0, 0, 0, 1), 0, 0, *info, cache), nullptr);
    EXPECT_EQ(FindFileInSolutionProjects("kit.txt", V(0, 0, 0, 2), 0, 0, *info, cache), nullptr);

    std::unique_ptr<InstalledSolutionInfo> second;  // game 0.0.0.4 is not installed
    ASSERT_EQ(LoadInstalledSolutionInfo("suite", V(0, 0, 0, 2), second), S_OK);
    QuorTest::LogCapture quiet(Log::USER);
    EXPECT_FALSE(AreSolutionProjectManifestsLoadable(*second, cache));
    EXPECT_EQ(FindFileInSolutionProjects("data/a.txt", INVALID_RELEASE_VERSION, 0, 0, *second, cache), nullptr);
    second->m_Projects.clear();
    EXPECT_TRUE(AreSolutionProjectManifestsLoadable(*second, cache));
}

}  // namespace
}  // namespace Quor::User
