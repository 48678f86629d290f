#include "kernel/UserCommandThread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "common/testing/LogCapture.h"
#include "foundation/Semaphore.h"
#include "foundation/WaitResult.h"
#include "kernel/Application.h"
#include "kernel/testing/ScriptedEngine.h"
#include "platform/FakeShell.h"
#include "kernel/testing/TestKernel.h"
#include "remote/ProjectVersionListing.h"
#include "tests/kit/NginxServer.h"
#include "tests/kit/TempDir.h"

namespace {

using Quor::Orvane::UserCommandThread;

HRESULT RunCommand(const std::vector<std::string>& words) {
    HRESULT hr = E_FAIL;
    HRESULT result = E_FAIL;
    {
        UserCommandThread runner(words, 0, hr);
        EXPECT_EQ(hr, S_OK);
        Vorn::threadJoin(runner.GetThread(), Vorn::INFINITE);
        result = runner.GetResult();
    }
    return result;
}

class CommandRunner : public ::testing::Test {
protected:
    void SetUp() override {
        QuorTest::UseOwnInstance();
        engine = std::make_shared<QuorTest::ScriptedEngine>();
    }
    void StartKernel() {
        Quor::Common::ProjectVersionListing listing;
        ASSERT_EQ(S_OK, listing.Add(0x01000000, "v1"));
        QuorTest::MakeDirs(content.path() + "/quor/solutions/s/releases");
        ASSERT_EQ(S_OK, listing.Save(content.path() + "/quor/solutions/s/releases/projectversionlisting"));
        nginx = std::make_unique<QuorTest::NginxServer>(content.path());
        ASSERT_TRUE(nginx->started());
        QuorTest::WriteFile(tree.system() + "/system.cfg",
                            "DownloadPath = /quor\nRegion = us\nDownloadURL = " + nginx->baseUrl() + "\n");
        kernel = std::make_unique<QuorTest::TestKernel>(QuorTest::TestKernel::Handlers(engine));
        ASSERT_EQ(kernel->hr, S_OK);
        ::setenv("ORVANE_PORT", std::to_string(kernel->port).c_str(), 1);
    }
    void TearDown() override {
        kernel.reset();
        Vorn::Semaphore::Cleanup(Quor::Orvane::KernelThread::kInstanceMutexName);
    }

    // Declared first, so that it outlives the kernel's threads, which may log until TearDown.
    QuorTest::LogCapture log;
    QuorTest::QuorTree tree;
    QuorTest::TempDir content;
    std::unique_ptr<QuorTest::NginxServer> nginx;
    std::shared_ptr<QuorTest::ScriptedEngine> engine;
    std::unique_ptr<QuorTest::TestKernel> kernel;
};

TEST_F(CommandRunner, WithoutAKernelEveryConnectedCommandFailsToConnect) {
    ::setenv("ORVANE_PORT", std::to_string(QuorTest::PickLoopbackPort()).c_str(), 1);
    EXPECT_EQ(RunCommand({"UpdateProject", "p"}), E_FAIL);
    EXPECT_TRUE(log.HasError("Failed to connect to Orvane.")) << log.All();
    // The command's failure is not the kernel's.
    EXPECT_EQ(Quor::Orvane::Application::DoUserCommand({"updateandrun", "kiv_launcher", "K.app"}, 0), S_OK);
    // noop needs no kernel.
    EXPECT_EQ(RunCommand({"NOOP"}), S_OK);
}

struct BadWords {
    std::vector<std::string> words;
    HRESULT result;
    const char* error;
    const char* usage;  // or null
};

TEST_F(CommandRunner, WrongWordsAreRefusedBeforeAnythingIsSent) {
    StartKernel();
    const BadWords cases[] = {
        {{"updateandrun", "p"}, static_cast<HRESULT>(0x80070057), "Invalid command line.",
         "quor UpdateAndRunProject <project> <executable>  <command=\"\">"},
        {{"UpdateAndRunProject", "p", "e", "c", "x"}, static_cast<HRESULT>(0x80070057), "Invalid command line.",
         "quor UpdateAndRunProject <project> <executable>  <command=\"\">"},
        {{"Repair", "now"}, static_cast<HRESULT>(0x80070057), "Invalid command line.", "quor Repair"},
        {{"frob"}, static_cast<HRESULT>(0x80070057), "Invalid command \"frob\"", nullptr},
        {{"InstallProjectRelease", "p", "1.2"}, E_FAIL, "Invalid release format.", nullptr},
    };
    for (const BadWords& c : cases) {
        SCOPED_TRACE(c.words[0]);
        log.Clear();
        const HRESULT result = RunCommand(c.words);
        if (c.result == E_FAIL) {
            EXPECT_LT(result, 0);
        } else {
            EXPECT_EQ(result, c.result);
        }
        EXPECT_TRUE(log.HasError(c.error)) << log.All();
        if (c.usage) {
            EXPECT_TRUE(log.Has(Quor::Log::USER, c.usage)) << log.All();
        }
    }
    EXPECT_TRUE(engine->Calls().empty());
}

TEST_F(CommandRunner, NamesAreLowerCasedAndCallsReachTheKernel) {
    StartKernel();
    EXPECT_EQ(RunCommand({"installprojectrelease", "MyProj", "1.2.3.4"}), S_OK);
    EXPECT_EQ(RunCommand({"Repair"}), S_OK);
    EXPECT_TRUE(log.Has(Quor::Log::USER, "Succeeded"));
    EXPECT_EQ(engine->Calls(), (std::vector<std::string>{"InstallProjectRelease myproj", "Repair"}));
}

TEST_F(CommandRunner, PreviewWord) {
    StartKernel();
    const std::pair<const char*, const char*> cases[] = {
        {"FALSE", "false"}, {"0", "false"}, {"yes", "true"}};
    for (const auto& [word, preview] : cases) {
        SCOPED_TRACE(word);
        log.Clear();
        RunCommand({"InstallSolutionReleaseByProjectVersion", "s", "v1", "en_US", word});
        EXPECT_TRUE(log.Contains(std::string("v1, en_US, ") + preview + ", false)")) << log.All();
    }
}

TEST_F(CommandRunner, UpdateAndRunShowsProgressAndEndsWhenNoReleaseIsInstalled) {
    StartKernel();
    Quor::Platform::FakeShell shell;
    Quor::Platform::SetShellForTests(&shell);
    EXPECT_EQ(RunCommand({"updateandrun", "Kiv", "K.app"}), E_FAIL);
    Quor::Platform::SetShellForTests(nullptr);
    EXPECT_TRUE(log.HasError("UpdateProject succeeded, but no releases found!")) << log.All();
    ASSERT_FALSE(engine->Calls().empty());
    EXPECT_EQ(engine->Calls().front(), "UpdateProject kiv");

    // Begin, then each fraction followed by one pump (progress without a total only pumps), End.
    const std::vector<std::string> calls = shell.Calls();
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls.front(), "Begin");
    EXPECT_EQ(calls.back(), "End");
    EXPECT_NE(std::find(calls.begin(), calls.end(), "Pump"), calls.end());
    for (size_t i = 1; i + 1 < calls.size(); ++i) {
        if (calls[i].rfind("Set:", 0) == 0) {
            EXPECT_EQ(calls[i + 1], "Pump") << i;
        } else {
            EXPECT_EQ(calls[i], "Pump") << i;
        }
    }
    const std::vector<float> fractions = shell.Fractions();
    EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
}

}  // namespace
