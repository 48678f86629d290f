// The kernel program started without the launcher: it finds the game's bundle above its own
// folder, starts that bundle's launcher and ends without running its command.
#include <stdlib.h>

#include <gtest/gtest.h>

#include <climits>

#include "tests/kit/AppBundle.h"
#include "tests/kit/RunCommand.h"
#include "tests/kit/TempDir.h"
#include "tests/kit/orvane/OrvaneRoot.h"

namespace {

TEST(OrvaneRelaunch, WithoutTheLauncherTheKernelStartsItAndQuitsWithoutItsCommand) {
    QuorTest::OrvaneRoot root;
    const std::string record = root.base() + "/launched";
    QuorTest::WriteScript(root.base() + "/Play Kindrel.app/Contents/MacOS/OrvaneLauncher",
                          "echo \"$(pwd -P) $# $vorn_launched\" > '" + record + ".tmp' && mv '" + record + ".tmp' '" +
                              record + "'\n");
    EXPECT_EQ(0, QuorTest::RunCommand("cd " + QuorTest::ShellQuote(root.system()) + " && env -u vorn_launched " +
                                      QuorTest::ShellQuote(root.kernel()) + " updateandrun kiv_launcher KivLauncher.app"));
    ASSERT_TRUE(QuorTest::WaitForFile(record));
    char base[PATH_MAX];
    ASSERT_TRUE(realpath(root.base().c_str(), base));
    EXPECT_EQ(std::string(base) + " 0 true\n", QuorTest::ReadFile(record));
    EXPECT_FALSE(QuorTest::Exists(root.root() + "/quor_orvane.log"));  // the kernel did not run
}

}  // namespace
