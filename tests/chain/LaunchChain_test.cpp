// The whole launch chain as a user starts it: the installed installer starts the launcher of its
// game folder, the launcher starts the real kernel, whose "updateandrun" installs the sample
// launcher's release from nginx and runs it.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/chain/ChainFixture.h"
#include "tests/kit/AppBundle.h"

namespace ChainTest {
namespace {

namespace fs = std::filesystem;

TEST_F(ChainFixture, InstallerStartsTheLauncherWhoseKernelInstallsAndRunsTheSampleLauncher) {
    ServeSample(kFirstRelease);
    ASSERT_FALSE(HasFatalFailure());
    const std::string bundle = outside / "Setup/Kindrel Installer.app";
    const std::string installer = QuorTest::InstallInBundle(bundle, QUOR_INSTALLER_PROGRAM, "KindrelInstaller", "");
    QuorTest::WriteFile(bundle + "/Contents/Resources/Localizable.strings", QuorTest::ReadFile(QUOR_INSTALLER_STRINGS));
    // The game folder beside the installer's resources: the launcher's bundle and the kernel's tree.
    const std::string game = bundle + "/Contents/Kiv";
    QuorTest::InstallInBundle(game + "/Play Kindrel.app", QUOR_LAUNCHER_PROGRAM, "OrvaneLauncher", QUOR_TAMRIX_LIBRARY);
    fs::copy(root->root(), game + "/QUOR", fs::copy_options::recursive);

    // Started as from a file browser: in "/", without vorn_launched (the installer's start adds it).
    WaitForOtherKernels();
    ProcessChain chain("/usr/bin/env", "/", {"-u", "vorn_launched", installer});
    const std::vector<int> statuses = chain.WaitAll();
    ExpectFinished(statuses, chain, game + "/QUOR", kFirstRelease, sample->ExpectedInstall(kFirstRelease));
    EXPECT_TRUE(QuorTest::ReadFile(game + "/QUOR/quor_orvane.log").find("Returning 0x00000000") != std::string::npos);
}

// A replay file opened while no game-launch orchestrator runs: the kernel updates the launcher's
// project and hands it the path, kept in its quotes, as its one argument.
TEST_F(ChainFixture, AReplayFileWithoutTheOrchestratorRunsTheSampleLauncherWithThePath) {
    ServeSample(kFirstRelease);
    ASSERT_FALSE(HasFatalFailure());
    const std::string replay = outside / "My Replays/game 1.VEXL";
    WaitForOtherKernels();
    ProcessChain chain(root->kernel(), root->system(), {replay});
    const std::vector<int> statuses = chain.WaitAll();
    for (int status : statuses) EXPECT_EQ(0, status) << "stderr:\n" << chain.Stderr();
    const std::string line = LauncherLine(root->root(), kFirstRelease);
    const std::string expected = line.substr(0, line.find("none")) + "\"\"" + replay + "\"\"\n";
    EXPECT_NE(chain.Stdout().find(expected), std::string::npos) << chain.Stdout();
    EXPECT_FALSE(fs::exists(root->root() + "/vexl"));
}

}  // namespace
}  // namespace ChainTest
