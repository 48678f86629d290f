// The installer program: from a disk image it copies its bundle into a chosen folder and starts
// the copy; installed, it starts the game folder's launcher.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/kit/AppBundle.h"
#include "tests/kit/RunCommand.h"
#include "tests/kit/TempDir.h"

namespace {

using QuorTest::Exists;
using QuorTest::ReadFile;
using QuorTest::ShellQuote;
using QuorTest::TempDir;

const std::string kBundleName = "Kindrel Installer.app";

class InstallerTest : public ::testing::Test {
protected:
    // Makes an installer bundle in folder, with a recording launcher in its game folder.
    std::string MakeInstaller(const std::string& folder, bool withLauncher = true) const {
        std::string bundle = folder + "/" + kBundleName;
        QuorTest::InstallInBundle(bundle, QUOR_INSTALLER_PROGRAM, "KindrelInstaller", "");
        QuorTest::WriteFile(bundle + "/Contents/Resources/Localizable.strings", ReadFile(QUOR_INSTALLER_STRINGS));
        if (withLauncher)
            QuorTest::WriteScript(bundle + "/Contents/Kiv/Play Kindrel.app/Contents/MacOS/OrvaneLauncher",
                                  "{ pwd; echo \"$#\"; echo \"vorn_launched=$vorn_launched\"; } > \"$RECORD.tmp\""
                                  " && mv \"$RECORD.tmp\" \"$RECORD\"");
        return bundle;
    }

    int Run(const std::string& bundle, const std::string& answers) const {
        return QuorTest::RunCommand("cd / && env -u vorn_launched RECORD=" + ShellQuote(record()) +
                                    " ORVANE_ANSWERS=" + ShellQuote(answers) + " " +
                                    ShellQuote(bundle + "/Contents/MacOS/KindrelInstaller") + " 2>" +
                                    ShellQuote(m_dir / "stderr"));
    }

    std::string record() const { return m_dir / "record"; }
    std::string log() const { return ReadFile(m_dir / "stderr"); }
    static std::string Text(const std::string& key) {
        std::string strings = ReadFile(QUOR_INSTALLER_STRINGS);
        size_t at = strings.find("\"" + key + "\" = \"") + key.size() + 6;
        return strings.substr(at, strings.find('"', at) - at);
    }

    TempDir m_dir{"installer"};
};

TEST_F(InstallerTest, FromTheDiskImageCopiesIntoAChosenFolderAndStartsTheCopy) {
    std::string image = MakeInstaller(m_dir / "volumes/KINDREL");
    QuorTest::WriteFile(m_dir / ("Taken/" + kBundleName + "/old"), "old");
    QuorTest::MakeDirs(m_dir / "Apps");
    EXPECT_EQ(Run(image, m_dir / "Taken" + "\n" + m_dir / "Apps"), 0);
    std::string text = log();
    EXPECT_NE(text.find(Text("NO_DMG")), std::string::npos) << text;
    size_t bad = text.find(Text("BAD_DIRECTORY"));
    ASSERT_NE(bad, std::string::npos) << text;
    EXPECT_NE(text.find(Text("INSTALL_DIRECTORY"), bad), std::string::npos) << "the chooser again:\n" << text;
    EXPECT_EQ(ReadFile(m_dir / ("Taken/" + kBundleName + "/old")), "old");
    std::string copy = m_dir / ("Apps/" + kBundleName);
    EXPECT_EQ(QuorTest::RunCommand("diff -r " + ShellQuote(image) + " " + ShellQuote(copy)), 0);
    // The copy, outside the disk image, starts its launcher.
    ASSERT_TRUE(QuorTest::WaitForFile(record()));
    EXPECT_EQ(ReadFile(record()), copy + "/Contents/Kiv\n0\nvorn_launched=true\n");
}

TEST_F(InstallerTest, CancellingTheChooserCopiesNothing) {
    std::string image = MakeInstaller(m_dir / "Volumes/Kindrel");
    EXPECT_EQ(Run(image, "cancel"), 0);
    EXPECT_NE(log().find("Choose folder: cancelled"), std::string::npos) << log();
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_dir.path()), {}), 2);  // Volumes, stderr
}

TEST_F(InstallerTest, InstalledStartsTheLauncherOfItsGameFolder) {
    std::string bundle = MakeInstaller(m_dir / "Setup");
    EXPECT_EQ(Run(bundle, ""), 0);
    ASSERT_TRUE(QuorTest::WaitForFile(record()));
    EXPECT_EQ(ReadFile(record()), bundle + "/Contents/Kiv\n0\nvorn_launched=true\n");
}

TEST_F(InstallerTest, InstalledWithoutLauncherFails) {
    std::string bundle = MakeInstaller(m_dir / "Setup", false);
    EXPECT_EQ(Run(bundle, ""), 255);
    EXPECT_FALSE(Exists(record()));
}

}  // namespace
