#include "install/CreateProcess.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "common/testing/LogCapture.h"
#include "tests/kit/InstallTreeTest.h"

namespace {

using InstallTesting::V;

constexpr DWORD kVersion = V(1, 0, 0, 1);

// Installed releases whose programs report, through a FIFO, their working folder, arguments and
// environment; reading the FIFO waits for the program.
class CreateProcessTest : public InstallTesting::InstallTreeTest {
protected:
    void SetUp() override {
        unsetenv("vorn_launched");
        fifo = root + "/scratch/report";
        QuorTest::MakeDirs(root + "/scratch");
        ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    }

    std::string DeployFolder(const std::string& kind, const std::string& name) const {
        return root + "/" + kind + "/" + name + "/releases/1.0.0.1/deploy";
    }
    // An installed release of kind ("projects" or "solutions") whose deploy folder holds the
    // program at relative path `program`, reporting `who`.
    void Install(const std::string& kind, const std::string& name, const std::string& program, const std::string& who) {
        QuorTest::WriteFile(root + "/" + kind + "/" + name + "/releases/1.0.0.1/S_OK", "");
        QuorTest::WriteFile(DeployFolder(kind, name) + "/" + program,
                            "#!/bin/sh\n{ echo \"who=" + who +
                                "\"; echo \"pwd=$(pwd)\"; echo \"argc=$#\"; for a in \"$@\"; do echo \"arg=$a\"; "
                                "done; echo \"launched=$vorn_launched\"; } > '" + fifo + "'\n");
    }
    std::string Report() const {
        const int fd = open(fifo.c_str(), O_RDONLY);
        EXPECT_GE(fd, 0);
        std::string text;
        char buffer[512];
        for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(got));
        close(fd);
        return text;
    }
    HRESULT Start(const std::string& name, const std::string& executable, const std::string& arguments,
                  DWORD version = kVersion) {
        pid = 7;
        reserved = 7;
        return Quor::User::CreateProcess(name, version, executable, arguments, fileSystem, pid, reserved);
    }

    std::string fifo;
    DWORD pid = 0;
    DWORD reserved = 0;
};

TEST_F(CreateProcessTest, ASolutionWinsOverAProjectAndTheProgramRunsInItsDeployFolderWithOneArgument) {
    Install("projects", "kiv", "KivLauncher.app/Contents/MacOS/KivLauncher", "project");
    Install("solutions", "kiv", "KivLauncher.app/Contents/MacOS/KivLauncher", "solution");
    const std::string cwd = Cwd();
    ASSERT_EQ(S_OK, Start("kiv", "KivLauncher.app", "a b"));
    EXPECT_NE(0u, pid);
    EXPECT_EQ(0u, reserved);
    EXPECT_EQ("who=solution\npwd=" + DeployFolder("solutions", "kiv") + "\nargc=1\narg=a b\nlaunched=true\n",
              Report());
    EXPECT_EQ(cwd, Cwd());
}

TEST_F(CreateProcessTest, BundleNamesAndArguments) {
    struct Case {
        const char* executable;
        const char* program;
        const char* arguments;
        const char* report;  // after who= and pwd=
    };
    const Case cases[] = {
        {"KivLauncher.app", "KivLauncher.app/Contents/MacOS/KivLauncher", "", "argc=0\n"},
        {"My.Game.app", "My.Game.app/Contents/MacOS/My.Game", "\"quoted\"  x", "argc=1\narg=\"quoted\"  x\n"},
        {"Tool", "Tool/Contents/MacOS/Tool", "-v", "argc=1\narg=-v\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.executable);
        Install("projects", "tools", c.program, c.executable);
        ASSERT_EQ(S_OK, Start("tools", c.executable, c.arguments));
        EXPECT_EQ(std::string("who=") + c.executable + "\npwd=" + DeployFolder("projects", "tools") + "\n" +
                      c.report + "launched=true\n",
                  Report());
    }
}

TEST_F(CreateProcessTest, RefusalsStartNothingAndLeaveBothOutValuesZero) {
    Install("projects", "kiv", "a/b/Contents/MacOS/a/b", "nested");
    QuorTest::LogCapture log(Quor::Log::ERROR);
    struct Case {
        const char* name;
        const char* executable;
        DWORD version;
        const char* message;
        bool generalFailure;  // 0x80004005 rather than the system's error
    };
    const Case cases[] = {
        {"unknown", "KivLauncher.app", kVersion, "\"unknown\" was neither an installed solution or project", true},
        {"KIV", "KivLauncher.app", kVersion, "was neither an installed solution or project", true},
        {"kiv", "a/b", kVersion, "Invalid executable name", true},
        {"kiv", "../x", kVersion, "Invalid executable name", true},
        {"kiv", "KivLauncher.app", 0xFFFFFFFF, "Failed to set current directory to deploy folder.", false},
        {"kiv", "Missing.app", kVersion, "Failed to spawn process", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + c.executable);
        const HRESULT hr = Start(c.name, c.executable, "", c.version);
        EXPECT_TRUE(FAILED(hr));
        if (c.generalFailure) {
            EXPECT_EQ(E_FAIL, hr);
        }
        EXPECT_EQ(0u, pid);
        EXPECT_EQ(0u, reserved);
        EXPECT_TRUE(log.Contains(c.message));
    }
}

}  // namespace
