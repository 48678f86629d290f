#include "common/SolutionManifestHelper.h"

#include <gtest/gtest.h>

#include "common/testing/LogCapture.h"

using Quor::Common::ConfigurationManifest;
using Quor::Common::SolutionManifest;
namespace Helper = Quor::Common::SolutionManifestHelper;

namespace {
SolutionManifest Solution() {
    SolutionManifest s;
    s.AddProject("a", 1, 0, 0);
    s.AddProject("b", 2, 0, 0);
    s.AddProject("c", 3, 0, 0);
    s.AddConfiguration("en_US", {"c", "A"}, 0);
    return s;
}
std::vector<std::string> Names(const std::vector<SolutionManifest::PROJECT>& projects) {
    std::vector<std::string> names;
    for (const auto& p : projects) names.push_back(p.name);
    return names;
}
}  // namespace

TEST(GatherProjects, InsertsTheSolutionsRecordsInNameOrder) {
    const SolutionManifest solution = Solution();
    std::vector<SolutionManifest::PROJECT> projects;
    ASSERT_EQ(Helper::GatherProjects(std::vector<std::string>{"c", "a"}, solution, projects), S_OK);
    EXPECT_EQ(Names(projects), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(projects[1].version, 3u);

    // The vector is not emptied; nothing stops a second copy.
    ASSERT_EQ(Helper::GatherProjects(std::vector<std::string>{"B", "a"}, solution, projects), S_OK);
    EXPECT_EQ(Names(projects), (std::vector<std::string>{"a", "a", "b", "c"}));
}

TEST(GatherProjects, UnknownProjectFailsAndKeepsWhatWasGathered) {
    const SolutionManifest solution = Solution();
    std::vector<SolutionManifest::PROJECT> projects;
    QuorTest::LogCapture log;
    EXPECT_EQ(Helper::GatherProjects(std::vector<std::string>{"b", "x", "a"}, solution, projects), E_FAIL);
    EXPECT_TRUE(log.HasError("Failed to find project x"));
    EXPECT_EQ(Names(projects), (std::vector<std::string>{"b"}));
}

TEST(GatherProjects, ByConfigurationNameAndByConfigurationManifest) {
    const SolutionManifest solution = Solution();
    std::vector<SolutionManifest::PROJECT> projects;
    ASSERT_EQ(Helper::GatherProjects(std::string("EN_us"), solution, projects), S_OK);
    EXPECT_EQ(Names(projects), (std::vector<std::string>{"a", "c"}));

    QuorTest::LogCapture log;
    projects.clear();
    EXPECT_EQ(Helper::GatherProjects(std::string("fr_FR"), solution, projects), E_FAIL);
    EXPECT_TRUE(log.HasError("Failed to find configuration"));

    ConfigurationManifest configuration;
    configuration.m_Projects = {"b", "zz"};
    EXPECT_EQ(Helper::GatherProjects(configuration, solution, projects), E_FAIL);
    EXPECT_TRUE(log.HasError("Failed to find project zz"));
    EXPECT_TRUE(log.HasError("Failed to gather projects for user supplied project list"));
    configuration.m_Projects = {"b"};
    projects.clear();
    ASSERT_EQ(Helper::GatherProjects(configuration, solution, projects), S_OK);
    EXPECT_EQ(Names(projects), (std::vector<std::string>{"b"}));
}

TEST(GatherProjects, FailureInsideAConfigurationNamesIt) {
    SolutionManifest solution = Solution();
    solution.m_Configurations[0].projects.push_back("gone");  // only possible by changing the fields
    std::vector<SolutionManifest::PROJECT> projects;
    QuorTest::LogCapture log;
    EXPECT_EQ(Helper::GatherProjects(std::string("en_US"), solution, projects), E_FAIL);
    EXPECT_TRUE(log.HasError("Failed to gather projects for configuration en_US"));
}
