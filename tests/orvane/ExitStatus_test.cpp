// The program's exit status tells whether its command succeeded: 255 (and a failure result in the
// log) for a command that failed, 0 for one that succeeded.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/orvane/OrvaneTest.h"

namespace OrvaneTest {
namespace {

TEST_F(OrvaneTest, AFailedCommandEndsTheProgramWith255) {
    Serve();
    struct Case {
        std::vector<std::string> arguments;
        int status;
    } cases[] = {
        {{"-noupdate", "InstallProjectRelease", "noproject", "0.0.0.1"}, 255},
        {{"-noupdate", "EnumerateInstalledProjectReleases"}, 255},  // a word missing
        {{"-noupdate", "InstallProjectRelease", "kiv_launcher", "x.y"}, 255},
        {{"-noupdate", "nosuchcommand"}, 255},
        {{"-noupdate", "InstallProjectRelease", "kiv_launcher", "0.0.0.1"}, 0},
        {{"-noupdate", "EnumerateInstalledProjects"}, 0},
        {{"-noupdate", "noop"}, 0},
    };
    for (const Case& c : cases) {
        std::string line;
        for (const std::string& word : c.arguments) line += word + " ";
        std::string errors;
        EXPECT_EQ(c.status, QuorTest::RunOrvane(*root, c.arguments, {}, &errors)) << line << "\n" << errors;
        const std::string log = Log();
        EXPECT_EQ(c.status == 0, Has(log, "Returning 0x00000000")) << line << "\n" << log;
    }
}

}  // namespace
}  // namespace OrvaneTest
