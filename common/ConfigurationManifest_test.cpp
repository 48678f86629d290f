#include "common/ConfigurationManifest.h"

#include <gtest/gtest.h>

#include "common/testing/LogCapture.h"
#include "tests/kit/ManifestFileTest.h"
#include "tests/kit/TempDir.h"

using Quor::Common::ConfigurationManifest;
using QuorTest::LogCapture;

namespace {
class ConfigurationManifestTest : public QuorTest::ManifestFileTest<ConfigurationManifest> {
protected:
    ConfigurationManifestTest() : ManifestFileTest("configurationmanifest") {}
};
}  // namespace

TEST_F(ConfigurationManifestTest, AddProjectKeepsByteOrderAndSaveWritesIt) {
    ConfigurationManifest m;
    m.m_Name = "en_US";
    ASSERT_EQ(m.AddProject("kiv_launcher"), S_OK);
    ASSERT_EQ(m.AddProject("Kiv_data"), S_OK);
    ASSERT_EQ(m.AddProject("kiv_game"), S_OK);
    {
        LogCapture log;
        EXPECT_EQ(m.AddProject("kiv_game"), E_FAIL);
        EXPECT_TRUE(log.HasError("Duplicate entry"));
    }
    EXPECT_EQ(m.AddProject("KIV_GAME"), S_OK) << "only an exact duplicate is refused";
    ASSERT_EQ(m.Save(dir / "out"), S_OK);
    EXPECT_EQ(QuorTest::ReadFile(dir / "out"),
              "Quor Configuration Manifest\n1.0.0.0\nen_US\n4\nKIV_GAME\nKiv_data\nkiv_game\nkiv_launcher\n");

    ASSERT_EQ(manifest.Load(dir / "out"), S_OK);
    EXPECT_EQ(manifest.m_Name, "en_US");
    EXPECT_EQ(manifest.m_Projects, m.m_Projects);
}

TEST_F(ConfigurationManifestTest, LoadKeepsFileOrderAndDuplicates) {
    ASSERT_EQ(LoadText("QUOR CONFIGURATION MANIFEST\n1.0.0.0\nfr_FR\n3\nb\na\nb\n"), S_OK);
    EXPECT_EQ(manifest.m_Projects, (std::vector<std::string>{"b", "a", "b"}));
}

TEST_F(ConfigurationManifestTest, CountBeyondTheNamesFails) {
    LogCapture log;
    EXPECT_TRUE(FAILED(LoadText("Quor Configuration Manifest\n1.0.0.0\nen_US\n5\nalpha\nbeta\n")));
    EXPECT_TRUE(log.HasError("Failed to read project name 2 of 5")) << log.Errors();
    EXPECT_EQ(manifest.m_Projects, (std::vector<std::string>{"alpha", "beta"}));

    // A huge count does not make the loader repeat or reserve anything.
    ConfigurationManifest huge;
    QuorTest::WriteFile(dir / "huge", "Quor Configuration Manifest\n1.0.0.0\nen_US\n4294967295\nalpha\n");
    EXPECT_TRUE(FAILED(huge.Load(dir / "huge")));
    EXPECT_EQ(huge.m_Projects.size(), 1u);
}

TEST_F(ConfigurationManifestTest, BadFilesFailWithTheirMessages) {
    struct Case {
        const char* text;
        const char* message;
    } cases[] = {
        {"", "Failure while getting magic string"},
        {"Quor Solution Manifest\n1.0.0.0\n", "Magic string does not match"},
        {"Quor Configuration Manifest\n1.0.0.1\nen_US\n0\n", "File version mismatch"},
        {"Quor Configuration Manifest\nnew\n", "Failed to read version"},
        {"Quor Configuration Manifest\n1.0.0.0\n", "Failed to read configuration name"},
        {"Quor Configuration Manifest\n1.0.0.0\nen_US\nmany\n", "Failed to read project count"},
        {"Quor Configuration Manifest\n1.0.0.0\nen_US\n1\n..\n", "Invalid project name \"..\""},
    };
    for (const Case& c : cases) {
        LogCapture log;
        ConfigurationManifest m;
        QuorTest::WriteFile(dir / "bad", c.text);
        EXPECT_TRUE(FAILED(m.Load(dir / "bad"))) << c.text;
        EXPECT_TRUE(log.HasError(c.message)) << c.text << "\n" << log.Errors();
    }
    LogCapture log;
    EXPECT_TRUE(FAILED(manifest.Load(dir / "absent")));
    EXPECT_TRUE(log.HasError("Failed to open configuration file \"" + (dir / "absent") + "\"."));
}
