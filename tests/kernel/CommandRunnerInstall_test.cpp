// The command runner as the kernel's own client against a real content server: a command-line
// install or update crosses the loopback protocol to the request server, whose engine does the
// work; "updateandrun" then starts the newest installed launcher and waits for it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "common/testing/LogCapture.h"
#include "foundation/Semaphore.h"
#include "foundation/WaitResult.h"
#include "kernel/UserCommandThread.h"
#include "kernel/testing/TestKernel.h"
#include "platform/FakeShell.h"
#include "tests/kit/NginxServer.h"
#include "tests/kit/TempDir.h"
#include "tools/contenttree/ContentTreeBuilder.h"

namespace {

constexpr DWORD kV1 = 0x00000001;  // 0.0.0.1
constexpr DWORD kV2 = 0x00000002;
const char* const kLauncher = "KivLauncher.app/Contents/MacOS/KivLauncher";

// Bytes that do not compress to nothing, different for each seed.
std::string Bytes(size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    unsigned state = seed * 2654435761u + 1;
    for (char& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>((state >> 16) & 0xFF);
    }
    return bytes;
}

// Project kiv_launcher 0.0.0.1 and 0.0.0.2 on nginx, and a request server of the test's own.
// Each release's launcher writes its release, working folder, argument count, first argument and
// "vorn_launched" to a file outside the tree, then exits with 3.
class CommandRunnerInstall : public ::testing::Test {
protected:
    void SetUp() override {
        QuorTest::UseOwnInstance();
        ::unsetenv("vorn_launched");  // the kernel's process start adds it
        auto& project = description.AddProject("kiv_launcher");
        for (const DWORD version : {kV1, kV2}) {
            const std::string name = "0.0.0." + std::to_string(version);
            auto& release = project.AddRelease(version, {"us"});
            release.AddFile(kLauncher, 0,
                            "#!/bin/sh\nprintf '%s|%s|%s|%s|%s\\n' " + name + " \"$PWD\" \"$#\" \"$1\" \"$vorn_launched\" > '" +
                                Ran() + "'\nexit 3\n");
            release.AddFile("KivLauncher.app/Contents/Resources/data.bin", 0, Bytes(3 << 20, version));
        }
        std::string error;
        ASSERT_TRUE(Quor::Tools::ContentTree::BuildContentTree(description, content.path(), error)) << error;
        nginx = std::make_unique<QuorTest::NginxServer>(content.path());
        ASSERT_TRUE(nginx->started());
        tree.WriteSystemConfig(nginx->baseUrl(), "/quor", "us");
        kernel = std::make_unique<QuorTest::TestKernel>(QuorTest::TestKernel::Handlers(nullptr));
        ASSERT_EQ(kernel->hr, S_OK);
        ::setenv("ORVANE_PORT", std::to_string(kernel->port).c_str(), 1);
    }
    void TearDown() override {
        Quor::Platform::SetShellForTests(nullptr);
        kernel.reset();
        Vorn::Semaphore::Cleanup(Quor::Orvane::KernelThread::kInstanceMutexName);
    }

    HRESULT Run(const std::vector<std::string>& words) {
        HRESULT hr = E_FAIL;
        Quor::Orvane::UserCommandThread runner(words, 0, hr);
        EXPECT_EQ(hr, S_OK);
        EXPECT_EQ(Vorn::threadJoin(runner.GetThread(), Vorn::INFINITE), Vorn::WAIT_OBJECT_0);
        return runner.GetResult();
    }
    std::string Release(const char* version) const { return tree.root() + "projects/kiv_launcher/releases/" + version; }
    std::string Ran() const { return outside.path() + "/ran"; }

    QuorTest::LogCapture log{Quor::Log::ERROR};  // outlives the kernel's threads
    QuorTest::QuorTree tree;
    QuorTest::TempDir content{"quorcontent"};
    QuorTest::TempDir outside{"quorlauncher"};
    Quor::Tools::ContentTree::ContentDescription description;
    std::unique_ptr<QuorTest::NginxServer> nginx;
    std::unique_ptr<QuorTest::TestKernel> kernel;
};

TEST_F(CommandRunnerInstall, InstallProjectReleaseInstallsTheReleaseThroughTheKernel) {
    EXPECT_EQ(Run({"InstallProjectRelease", "Kiv_Launcher", "0.0.0.2"}), S_OK) << log.All();
    EXPECT_TRUE(log.Has(Quor::Log::USER, "Succeeded")) << log.All();
    EXPECT_TRUE(QuorTest::Exists(Release("0.0.0.2") + "/S_OK"));
    EXPECT_EQ(QuorTest::ReadFile(Release("0.0.0.2") + "/deploy/" + kLauncher),
              description.projects.front().FindRelease(kV2)->files.front().bytes);
    EXPECT_FALSE(QuorTest::Exists(Release("0.0.0.1")));
}

// What the launcher program asks for: update the launcher project, then start its newest release
// with the fourth word as its one argument, and wait for it.
TEST_F(CommandRunnerInstall, UpdateAndRunUpdatesToTheNewestReleaseAndRunsItsLauncher) {
    ASSERT_EQ(Run({"InstallProjectRelease", "kiv_launcher", "0.0.0.1"}), S_OK) << log.All();
    ASSERT_TRUE(QuorTest::Exists(Release("0.0.0.1") + "/S_OK"));
    log.Clear();

    Quor::Platform::FakeShell shell;
    Quor::Platform::SetShellForTests(&shell);
    EXPECT_EQ(Run({"updateandrun", "Kiv_Launcher", "KivLauncher.app", "a b"}), S_OK) << log.All();
    Quor::Platform::SetShellForTests(nullptr);

    // The launcher's exit code 3 is not a failure of the command.
    EXPECT_TRUE(log.Has(Quor::Log::USER, "Succeeded")) << log.All();
    EXPECT_FALSE(log.HasError("Failure while waiting for process to terminate.")) << log.Errors();
    const std::string deploy = std::filesystem::canonical(Release("0.0.0.2") + "/deploy").string();
    EXPECT_EQ(QuorTest::ReadFile(Ran()), "0.0.0.2|" + deploy + "|1|a b|true\n");
    EXPECT_TRUE(QuorTest::Exists(Release("0.0.0.2") + "/S_OK"));
    EXPECT_EQ(QuorTest::ReadFile(Release("0.0.0.2") + "/deploy/KivLauncher.app/Contents/Resources/data.bin"),
              Bytes(3 << 20, kV2));

    // Begin; every fraction, never smaller than the one before, followed by exactly one pump; End.
    const std::vector<std::string> calls = shell.Calls();
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls.front(), "Begin");
    EXPECT_EQ(calls.back(), "End");
    for (size_t i = 1; i + 1 < calls.size(); ++i) {
        if (calls[i].starts_with("Set:")) {
            EXPECT_EQ(calls[i + 1], "Pump") << i;
        } else {
            EXPECT_EQ(calls[i], "Pump") << i;
        }
    }
    const std::vector<float> fractions = shell.Fractions();
    ASSERT_FALSE(fractions.empty());
    EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
    // The bar never passes its end: what was downloaded counts what the total counts.
    EXPECT_LE(fractions.back(), 1.0f) << fractions.back();
}

}  // namespace
