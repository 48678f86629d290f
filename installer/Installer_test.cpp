#include "installer/Installer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "installer/BundleCopy.h"
#include "platform/FakeVolumeProperties.h"
#include "tests/kit/AppBundle.h"
#include "tests/kit/TempDir.h"

namespace {

using QuorTest::Exists;
using QuorTest::TempDir;

TEST(Installer, CaseSensitiveGameFolderIsRefusedWithoutStartingTheLauncher) {
    TempDir dir("installer");
    std::string bundle = dir / "Setup/Kindrel Installer.app";
    std::string launcher = bundle + "/Contents/Kiv/Play Kindrel.app/Contents/MacOS/OrvaneLauncher";
    QuorTest::WriteScript(launcher, "touch \"$0.started\"");
    QuorTest::WriteFile(bundle + "/Contents/Resources/Localizable.strings", "\"NO_CASE_SENSITIVE\" = \"case!\";\n");
    Quor::Platform::FakeVolumeProperties caseSensitive(true);
    Quor::Platform::SetVolumePropertiesForTests(&caseSensitive);
    QuorTest::ScopedCwd elsewhere("/");
    testing::internal::CaptureStderr();
    EXPECT_EQ(Installer::InstallerMain(bundle), 0);
    std::string log = testing::internal::GetCapturedStderr();
    Quor::Platform::SetVolumePropertiesForTests(nullptr);
    EXPECT_NE(log.find("case!"), std::string::npos) << log;
    // The game folder the run would start was examined, not "../Kiv" of the working folder.
    EXPECT_EQ(caseSensitive.asked, std::vector<std::string>{bundle + "/Contents/Kiv"});
    EXPECT_FALSE(Exists(launcher + ".started"));
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
