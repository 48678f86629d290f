// OrvaneLauncher from {tmp}/Apps/Play Kindrel.app, with a recording kernel.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/kit/AppBundle.h"
#include "tests/kit/RunCommand.h"
#include "tests/kit/TempDir.h"

namespace {

using QuorTest::ReadFile;
using QuorTest::ShellQuote;
using QuorTest::TempDir;

// The kernel's record: its path, working folder, arguments and vorn_launched, one a line.
const char* kRecordingKernel =
    "{ echo \"$0\"; pwd; for a in \"$@\"; do echo \"$a\"; done; echo \"vorn_launched=$vorn_launched\"; }"
    " > \"$RECORD.tmp\" && mv \"$RECORD.tmp\" \"$RECORD\"";

class LauncherTest : public ::testing::Test {
protected:
    LauncherTest()
        : m_launcher(QuorTest::InstallInBundle(m_dir / "Apps/Play Kindrel.app", QUOR_LAUNCHER_PROGRAM,
                                               "OrvaneLauncher", QUOR_TAMRIX_LIBRARY)) {}

    // Puts the recording kernel below base; returns where the launcher must start it.
    std::string InstallKernel(const std::string& base) const {
        std::string kernel = base + "/QUOR/system/Orvane.app/Contents/MacOS/Orvane";
        QuorTest::WriteScript(kernel, kRecordingKernel);
        return kernel;
    }

    int RunLauncher(const std::vector<std::string>& arguments) const {
        std::string line = "env -u vorn_launched RECORD=" + ShellQuote(record()) + " " + ShellQuote(m_launcher);
        for (const std::string& argument : arguments) line += " " + ShellQuote(argument);
        return QuorTest::RunCommand(line + " 2>" + ShellQuote(m_dir / "stderr"));
    }

    std::string record() const { return m_dir / "record"; }

    std::string ExpectedRecord(const std::string& base) const {
        return base + "/QUOR/system/Orvane.app/Contents/MacOS/Orvane\n" + base +
               "/QUOR/system\nupdateandrun\nkiv_launcher\nKivLauncher.app\nvorn_launched=true\n";
    }

    TempDir m_dir{"launcher"};
    std::string m_launcher;
};

TEST_F(LauncherTest, StartsTheKernelBelowTheBaseFolder) {
    std::string games = m_dir / "Games";
    // 1023 characters in segments a file system accepts.
    std::string longBase = m_dir.path();
    while (longBase.size() < 1023) longBase += "/" + std::string(std::min<size_t>(100, 1023 - longBase.size() - 1), 'x');
    ASSERT_EQ(longBase.size(), 1023u);
    struct Case {
        std::vector<std::string> arguments;
        std::string base;
    } cases[] = {
        {{"-path", games + "/"}, games},
        {{"-PATH", games}, games},
        {{"-path"}, m_dir / "Apps"},
        {{}, m_dir / "Apps"},
        {{"-path", longBase + "y"}, m_dir / "Apps"},  // 1024 characters: ignored
        {{"-path", longBase}, longBase},
        {{"other", games}, m_dir / "Apps"},
    };
    for (const Case& c : cases) {
        std::string label = c.arguments.empty() ? "(none)" : c.arguments[0] + " " + std::to_string(c.arguments.size());
        InstallKernel(c.base);
        std::filesystem::remove(record());
        EXPECT_EQ(RunLauncher(c.arguments), 0) << label;
        ASSERT_TRUE(QuorTest::WaitForFile(record())) << label;
        EXPECT_EQ(ReadFile(record()), ExpectedRecord(c.base)) << label;
        QuorTest::RemoveTree(c.base + "/QUOR");
    }
}

TEST_F(LauncherTest, AKernelThatCannotStartIsReported) {
    EXPECT_EQ(RunLauncher({"-path", m_dir / "Empty"}), 255);
    std::string log = ReadFile(m_dir / "stderr");
    EXPECT_NE(log.find("OrvaneLauncher: cannot start " + m_dir.path() + "/Empty/QUOR/system/Orvane.app"),
              std::string::npos) << log;
}

}  // namespace
