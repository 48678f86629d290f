#include "common/SettingsFile.h"

#include <gtest/gtest.h>

#include <string>

#include "common/Log.h"
#include "tests/kit/TempDir.h"

using Quor::Common::SettingsFile::SettingsFile;
using QuorTest::QuorTree;
using QuorTest::ReadFile;
using QuorTest::WriteFile;

TEST(SettingsFile, ReadsEntriesSkipsCommentsAndInvalidLinesAndSavesSortedEntries) {
    QuorTree tree;
    WriteFile(tree.root() + "system/system.cfg",
              "# comment = 1\n"
              "; another\n"
              ": third = x\n"
              "// and the fourth\n"
              "/single slash = y\n"
              "\n"
              "   Region = NORTHW   \r\n"
              "k = a=b\n"
              "novalue\n"
              "x # = 1\n"
              "empty =\n"
              "A = 1\n"
              "a = 2\n"
              "= nokey\n"
              "last = no line feed");
    testing::internal::CaptureStderr();
    HRESULT hr = E_FAIL;
    SettingsFile settings("system.cfg", hr);
    const std::string err = testing::internal::GetCapturedStderr();
    ASSERT_EQ(hr, S_OK);
    EXPECT_EQ(settings.GetPath(), tree.root() + "system/system.cfg");
    EXPECT_NE(
        err.find(
            "HRESULT Quor::Common::SettingsFile::SettingsFile::Load(): Skipping invalid line in launcher "
            "config file: novalue\n"),
        std::string::npos)
        << err;

    EXPECT_EQ(settings.Get("region"), "NORTHW");
    EXPECT_EQ(settings.Get("REGION"), "NORTHW");
    EXPECT_EQ(settings.Get("k"), "a=b");
    EXPECT_EQ(settings.Get("x #"), "1");
    EXPECT_EQ(settings.Get("empty"), "");
    EXPECT_EQ(settings.Get("a"), "2");
    EXPECT_EQ(settings.Get(""), "nokey");
    EXPECT_EQ(settings.Get("last"), "no line feed");
    EXPECT_EQ(settings.Get("comment"), "");
    EXPECT_EQ(settings.Get("missing"), "");

    settings.Set("New", "value");
    ASSERT_EQ(settings.Save(), S_OK);
    // Keys sorted without regard to case; a duplicate keeps the spelling of its first line.
    EXPECT_EQ(ReadFile(tree.root() + "system/system.cfg"),
              " = nokey\n"
              "A = 2\n"
              "empty = \n"
              "k = a=b\n"
              "last = no line feed\n"
              "New = value\n"
              "Region = NORTHW\n"
              "x # = 1\n");
}

TEST(SettingsFile, TheFileUnderTheWorkingFolderWinsOverTheRootsSystemFolder) {
    QuorTree tree;
    WriteFile(tree.root() + "system/locale.cfg", "locale = de_de\n");
    {
        HRESULT hr = E_FAIL;
        SettingsFile settings("locale.cfg", hr);
        EXPECT_EQ(hr, S_OK);
        EXPECT_EQ(settings.Get("locale"), "de_de");
    }
    WriteFile(tree.system() + "/quor/system/locale.cfg", "locale = pl_pl\n");
    HRESULT hr = E_FAIL;
    SettingsFile settings("locale.cfg", hr);
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(settings.GetPath(), "quor/system/locale.cfg");
    EXPECT_EQ(settings.Get("locale"), "pl_pl");
}

TEST(SettingsFile, AMissingFileIsNoErrorButIsLogged) {
    QuorTree tree;
    testing::internal::CaptureStderr();
    HRESULT hr = E_FAIL;
    SettingsFile settings("user.cfg", hr);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(settings.Get("disableP2P"), "");
    EXPECT_NE(
        err.find("Settings file \"" + tree.root() + "system/user.cfg\" does not exist, and was not opened."),
        std::string::npos)
        << err;
}

TEST(SettingsFile, ANameWithoutCfgWarnsAndStillLoads) {
    QuorTree tree;
    WriteFile(tree.root() + "system/settings.txt", "key = value\n");
    Quor::Log::SetLogLevel(Quor::Log::WARNING);
    testing::internal::CaptureStdout();
    HRESULT hr = E_FAIL;
    SettingsFile settings("settings.txt", hr);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(settings.Get("key"), "value");
    EXPECT_NE(
        out.find("Did not find \".cfg\" in settings filename \"settings.txt\". Suspicious, but attempting to "
                 "continue with load."),
        std::string::npos)
        << out;
}

TEST(SettingsFile, AGivenPathIsUsedAsItIsAndSaveFailsWithoutItsFolder) {
    QuorTest::TempDir dir;
    WriteFile(dir / "any.cfg", "a = 1\n");
    HRESULT hr = E_FAIL;
    SettingsFile byPath(dir / "any.cfg", hr, true);
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(byPath.Get("A"), "1");

    SettingsFile nowhere(dir / "missing/folder/x.cfg", hr, true);
    EXPECT_EQ(hr, S_OK);
    nowhere.Set("a", "b");
    testing::internal::CaptureStderr();
    EXPECT_EQ(nowhere.Save(), E_FAIL);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Failed to open settings file"), std::string::npos);
}

TEST(SettingsFile, AnUnreadableFileIsAFailureAndLoadNeverEmptiesTheMap) {
    QuorTest::TempDir dir;
    WriteFile(dir / "a.cfg", "a = 1\n");
    HRESULT hr = E_FAIL;
    SettingsFile settings(dir / "a.cfg", hr, true);
    ASSERT_EQ(hr, S_OK);
    // The file is replaced by a folder: it exists, opens, and cannot be read.
    QuorTest::RemoveTree(dir / "a.cfg");
    QuorTest::MakeDirs(dir / "a.cfg");
    testing::internal::CaptureStderr();
    EXPECT_EQ(settings.Load(), E_FAIL);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(settings.Get("a"), "1");
}
