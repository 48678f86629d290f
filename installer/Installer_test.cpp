#include "installer/Installer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "common/Log.h"
#include "common/testing/LogCapture.h"
#include "foundation/OsContext.h"
#include "installer/BundleCopy.h"
#include "platform/AnswerPolicy.h"
#include "platform/FakeVolumeProperties.h"
#include "tests/kit/AppBundle.h"
#include "tests/kit/TempDir.h"

namespace {

using QuorTest::Exists;
using QuorTest::TempDir;

size_t Occurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
    return count;
}

TEST(Installer, CaseSensitiveGameFolderIsRefusedWithoutStartingTheLauncher) {
    TempDir dir("installer");
    std::string bundle = dir / "Setup/Kindrel Installer.app";
    std::string launcher = bundle + "/Contents/Kiv/Play Kindrel.app/Contents/MacOS/OrvaneLauncher";
    QuorTest::WriteScript(launcher, "touch \"$0.started\"");
    QuorTest::WriteFile(bundle + "/Contents/Resources/Localizable.strings", "\"NO_CASE_SENSITIVE\" = \"case!\";\n");
    Quor::Platform::FakeVolumeProperties caseSensitive(true);
    Vorn::ScopedOsContext os({.volumes = &caseSensitive});
    QuorTest::ScopedCwd elsewhere("/");
    testing::internal::CaptureStderr();
    EXPECT_EQ(Installer::InstallerMain(bundle), 0);
    std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("case!"), std::string::npos) << log;
    // The game folder the run would start was examined, not "../Kiv" of the working folder.
    EXPECT_EQ(caseSensitive.asked, std::vector<std::string>{bundle + "/Contents/Kiv"});
    EXPECT_FALSE(Exists(launcher + ".started"));
}

// The case-sensitive volume alert offers its help button (1) beside the default one (0): each
// press opens the help address (printed and logged) and leaves the alert up; the default button
// closes it. Unscripted, or once the script is used up, the default button answers.
TEST(Installer, CaseSensitiveAlertHelpButtonOpensTheHelpAddress) {
    const std::string url = "https://help.example/case-sensitive";
    const struct {
        std::vector<unsigned> answers;
        size_t opened;
        size_t asked;
    } cases[] = {
        {{}, 0, 1},
        {{0}, 0, 1},
        {{1}, 1, 2},
        {{1, 1, 0, 1}, 2, 3},
    };
    for (const auto& c : cases) {
        TempDir dir("installer");
        const std::string bundle = dir / "Kindrel Installer.app";
        QuorTest::WriteFile(bundle + "/Contents/Resources/Localizable.strings",
                            "\"NO_CASE_SENSITIVE\" = \"case!\";\n\"HELP_KB_URL\" = \"" + url + "\";\n");
        Quor::Platform::FakeVolumeProperties caseSensitive(true);
        Vorn::ScopedOsContext os({.volumes = &caseSensitive});
        Quor::Platform::SetScriptedAnswers(c.answers);
        QuorTest::LogCapture log(Quor::Log::ERROR);
        testing::internal::CaptureStderr();
        EXPECT_EQ(Installer::InstallerMain(bundle), 0);
        const std::string printed = testing::internal::GetCapturedStderr();
        const std::string what = "answers " + testing::PrintToString(c.answers) + ":\n" + printed;
        EXPECT_EQ(Occurrences(printed, "case! (0 OK, 1 Help)"), c.asked) << what;
        EXPECT_EQ(Occurrences(printed, "Open: " + url + "\n"), c.opened) << what;
        EXPECT_EQ(log.Count("Opening the help page \"" + url + "\""), c.opened) << what << log.All();
    }
}

TEST(Installer, DiskImageMarkerIgnoresCase) {
    EXPECT_TRUE(Installer::IsRunningFromDiskImage("/Volumes/Kindrel/Kindrel Installer.app"));
    EXPECT_TRUE(Installer::IsRunningFromDiskImage("/tmp/x/VOLUMES/KINDREL 2/A.app"));
    EXPECT_FALSE(Installer::IsRunningFromDiskImage("/Volumes/Other/Kindrel.app"));
}

TEST(BundleCopy, FailedCopyLeavesNothingAndExistingDestinationFails) {
    TempDir dir("bundlecopy");
    QuorTest::WriteFile(dir / "A.app/Contents/MacOS/a", "program");
    QuorTest::WriteFile(dir / "A.app/Contents/Resources/r", "resource");
    std::filesystem::create_symlink("MacOS/a", dir / "A.app/Contents/link");
    QuorTest::MakeDirs(dir / "To");
    ASSERT_TRUE(Installer::CopyBundle(dir / "A.app", dir / "To/A.app"));
    EXPECT_EQ(QuorTest::ReadFile(dir / "To/A.app/Contents/Resources/r"), "resource");
    EXPECT_EQ(std::filesystem::read_symlink(dir / "To/A.app/Contents/link"), "MacOS/a");
    // An existing destination is not replaced, and nothing is left beside it.
    QuorTest::WriteFile(dir / "To/A.app/Contents/MacOS/a", "kept");
    EXPECT_FALSE(Installer::CopyBundle(dir / "A.app", dir / "To/A.app"));
    EXPECT_EQ(QuorTest::ReadFile(dir / "To/A.app/Contents/MacOS/a"), "kept");
    // A source holding something that is not a file, folder or link fails midway and leaves nothing.
    ASSERT_EQ(mkfifo((dir / "A.app/Contents/pipe").c_str(), 0600), 0);
    QuorTest::MakeDirs(dir / "Other");
    EXPECT_FALSE(Installer::CopyBundle(dir / "A.app", dir / "Other/A.app"));
    EXPECT_TRUE(std::filesystem::is_empty(dir / "Other"));
}

}  // namespace
