#include "common/SolutionManifest.h"

#include <gtest/gtest.h>

#include "common/testing/LogCapture.h"
#include "tests/kit/ManifestFileTest.h"
#include "tests/kit/TempDir.h"

using Quor::Common::SolutionManifest;
using QuorTest::LogCapture;

namespace {

const char* const kText =
    "Quor Solution Manifest\n"
    "1.0.0.0\n"
    "kiv_game_client_sln\n"
    "0.0.0.130\n"
    "2\n"
    "alpha\n1.0.0.1\n5\n0\n"
    "Beta\n1.0.0.2\n10\n4294967295\n"
    "2\n"
    "de_DE\n0\n1\nalpha\n"
    "en_US\n7\n2\nBeta\nalpha\n";

class SolutionManifestTest : public QuorTest::ManifestFileTest<SolutionManifest> {
protected:
    SolutionManifestTest() : ManifestFileTest("solutionmanifest") {}
};

}  // namespace

TEST_F(SolutionManifestTest, SavesProjectsAndConfigurationsSortedWithoutCase) {
    SolutionManifest m;
    m.m_Name = "kiv_game_client_sln";
    m.m_Version = 130;
    ASSERT_EQ(m.AddProject("Beta", 0x01000002, 10, 0xFFFFFFFF), S_OK);
    ASSERT_EQ(m.AddProject("alpha", 0x01000001, 5, 0), S_OK);
    EXPECT_EQ(m.AddProject("BETA", 1, 1, 1), E_FAIL);
    ASSERT_EQ(m.AddConfiguration("en_US", {"Beta", "alpha"}, 7), S_OK);
    ASSERT_EQ(m.AddConfiguration("de_DE", {"ALPHA"}, 0), S_OK);
    EXPECT_EQ(m.AddConfiguration("EN_us", {}, 0), E_FAIL);

    ASSERT_EQ(m.Save(dir / "out"), S_OK);
    // A configuration keeps its list as given; "ALPHA" was given in that spelling.
    std::string expected = kText;
    expected.replace(expected.find("1\nalpha\n"), 8, "1\nALPHA\n");
    EXPECT_EQ(QuorTest::ReadFile(dir / "out"), expected);
}

TEST_F(SolutionManifestTest, LoadReadsEveryField) {
    ASSERT_EQ(LoadText(kText), S_OK);
    EXPECT_EQ(manifest.m_Name, "kiv_game_client_sln");
    EXPECT_EQ(manifest.m_Version, 130u);
    ASSERT_EQ(manifest.m_Projects.size(), 2u);
    EXPECT_EQ(manifest.m_Projects[0].name, "alpha");
    EXPECT_EQ(manifest.m_Projects[1].name, "Beta");
    EXPECT_EQ(manifest.m_Projects[1].version, 0x01000002u);
    EXPECT_EQ(manifest.m_Projects[1].priority, 10u);
    EXPECT_EQ(manifest.m_Projects[1].flags, 0xFFFFFFFFu);
    ASSERT_EQ(manifest.m_Configurations.size(), 2u);
    EXPECT_EQ(manifest.m_Configurations[1].name, "en_US");
    EXPECT_EQ(manifest.m_Configurations[1].flags, 7u);
    // Names of a loaded configuration are sorted without regard to case.
    EXPECT_EQ(manifest.m_Configurations[1].projects, (std::vector<std::string>{"alpha", "Beta"}));

    // What was loaded saves to the same text, the configuration's names now in their sorted order.
    ASSERT_EQ(manifest.Save(dir / "again"), S_OK);
    std::string expected = kText;
    expected.replace(expected.rfind("Beta\nalpha\n"), 11, "alpha\nBeta\n");
    EXPECT_EQ(QuorTest::ReadFile(dir / "again"), expected);
}

TEST_F(SolutionManifestTest, AcceptsMagicInAnyCaseAndEmptyLists) {
    ASSERT_EQ(LoadText("quor solution manifest\r\n1.0.0.0\r\nsln\r\n0.0.0.1\r\n0\r\n0\r\n"), S_OK);
    EXPECT_EQ(manifest.m_Name, "sln");
    EXPECT_TRUE(manifest.m_Projects.empty());
    EXPECT_TRUE(manifest.m_Configurations.empty());
}

TEST_F(SolutionManifestTest, BadFilesFailWithTheirMessages) {
    const std::string header = "Quor Solution Manifest\n1.0.0.0\nsln\n0.0.0.1\n";
    struct Case {
        const char* what;
        std::string text;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {"other magic",
         "Quor Solution Manifesto\n1.0.0.0\n",
         {"Magic string does not match", "Failed to load header"}},
        {"file version 1.0.0.1",
         "Quor Solution Manifest\n1.0.0.1\nsln\n0.0.0.1\n0\n0\n",
         {"File version mismatch"}},
        {"bad file version", "Quor Solution Manifest\nnew\n", {"Invalid format for file version string"}},
        {"bad solution version",
         "Quor Solution Manifest\n1.0.0.0\nsln\n1.2.3\n",
         {"Invalid format for solution version string"}},
        {"empty file", "", {"Failure while getting magic string"}},
        {"file ends in the header",
         "Quor Solution Manifest\n1.0.0.0\nsln\n",
         {"Failure while getting solutino version string"}},
        {"no project count", header, {"fgets failed while reading project count", "Failed to load projects"}},
        {"fewer projects than counted",
         header + "3\na\n1.0.0.0\n0\n0\nb\n1.0.0.0\n0\n0\n",
         {"Failed to read project name"}},
        {"project ends early", header + "1\na\n1.0.0.0\n0\n", {"Failed to read flags"}},
        {"bad project version", header + "1\na\nx\n0\n0\n", {"Failed to read project version"}},
        {"bad priority", header + "1\na\n1.0.0.0\nhigh\n0\n", {"Failed to read priority"}},
        {"duplicate project",
         header + "2\na\n1.0.0.0\n0\n0\nA\n1.0.0.0\n0\n0\n0\n",
         {"Failed to add project"}},
        {"project name leaving the tree",
         header + "1\n../x\n1.0.0.0\n0\n0\n0\n",
         {"Invalid project name \"../x\""}},
        {"project name with a folder",
         header + "1\na/b\n1.0.0.0\n0\n0\n0\n",
         {"Invalid project name \"a/b\""}},
        {"solution name leaving the tree",
         "Quor Solution Manifest\n1.0.0.0\n../../x\n0.0.0.1\n0\n0\n",
         {"Invalid solution name \"../../x\"", "Failed to load header"}},
        {"absolute solution name",
         "Quor Solution Manifest\n1.0.0.0\n/x\n0.0.0.1\n0\n0\n",
         {"Invalid solution name \"/x\""}},
        {"solution name with a folder",
         "Quor Solution Manifest\n1.0.0.0\nsln/x\n0.0.0.1\n0\n0\n",
         {"Invalid solution name \"sln/x\""}},
        {"solution name with a backslash",
         "Quor Solution Manifest\n1.0.0.0\n..\\x\n0.0.0.1\n0\n0\n",
         {"Invalid solution name \"..\\x\""}},
        {"empty solution name",
         "Quor Solution Manifest\n1.0.0.0\n\n0.0.0.1\n0\n0\n",
         {"Invalid solution name \"\""}},
        {"configuration name leaving the tree",
         header + "1\na\n1.0.0.0\n0\n0\n1\n../c\n0\n1\na\n",
         {"Invalid configuration name \"../c\"", "Failed to load configurations"}},
        {"configuration name with a folder",
         header + "1\na\n1.0.0.0\n0\n0\n1\nc/d\n0\n0\n",
         {"Invalid configuration name \"c/d\""}},
        {"no configuration count",
         header + "1\na\n1.0.0.0\n0\n0\n",
         {"fgets failed while reading project count", "Failed to load configurations"}},
        {"same project twice in a configuration",
         header + "1\na\n1.0.0.0\n0\n0\n1\nc\n0\n2\na\nA\n",
         {"Duplicate project in configuration"}},
        {"unknown project in a configuration",
         header + "1\na\n1.0.0.0\n0\n0\n1\nc\n0\n1\nb\n",
         {"Configuration references unknown project.  Add projects before configurations.",
          "Failed to add configuration", "Failed to load configurations"}},
        {"fewer configuration names than counted",
         header + "1\na\n1.0.0.0\n0\n0\n1\nc\n0\n5\na\n",
         {"Failed to read name of project in configuration"}},
        {"duplicate configuration",
         header + "1\na\n1.0.0.0\n0\n0\n2\nc\n0\n0\nC\n0\n0\n",
         {"Failed to add configuration"}},
    };
    for (const Case& c : cases) {
        LogCapture log;
        SolutionManifest m;
        QuorTest::WriteFile(dir / "bad", c.text);
        EXPECT_TRUE(FAILED(m.Load(dir / "bad"))) << c.what;
        for (const std::string& message : c.messages)
            EXPECT_TRUE(log.HasError(message)) << c.what << ": no \"" << message << "\" in\n" << log.Errors();
    }
}

TEST_F(SolutionManifestTest, MissingFileFailsToOpen) {
    LogCapture log;
    EXPECT_TRUE(FAILED(manifest.Load(dir / "absent")));
    EXPECT_TRUE(log.HasError("Failed to open \"" + (dir / "absent") + "\"."));
    // Saving into a folder that does not exist fails the same way.
    EXPECT_TRUE(FAILED(manifest.Save(dir / "no/such/folder/file")));
}

TEST(SolutionManifestPredicates, PriorityOrdersHighestFirst) {
    SolutionManifest::PROJECT low, high;
    low.priority = 1;
    high.priority = 0x80000000;  // compared unsigned
    EXPECT_TRUE(SolutionManifest::PROJECT::PredicateByPriority(high, low));
    EXPECT_FALSE(SolutionManifest::PROJECT::PredicateByPriority(low, high));
    EXPECT_FALSE(SolutionManifest::PROJECT::PredicateByPriority(low, low));
}
