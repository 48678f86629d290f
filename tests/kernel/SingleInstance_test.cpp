// One kernel at a time: stopping a running kernel process, asking before ending other kernels,
// and the replay hand-off file. These tests start and kill processes named "Orvane" and share the
// kernel-process resource lock.
#include "kernel/SingleInstance.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "common/LocalRootFolder.h"
#include "foundation/Semaphore.h"
#include "remote/process/ProcessHelper.h"
#include "kernel/KernelThread.h"
#include "kernel/testing/TestKernel.h"
#include "platform/AnswerPolicy.h"
#include "platform/FakeShell.h"
#include "tests/kit/KernelProcess.h"
#include "tests/kit/TempDir.h"

extern char** environ;

namespace {

class SingleInstance : public ::testing::Test {
protected:
    void SetUp() override {
        QuorTest::UseOwnInstance();
        ::setenv("ORVANE_PORT", std::to_string(QuorTest::PickLoopbackPort()).c_str(), 1);
        Quor::Platform::SetShellForTests(&shell);
    }
    void TearDown() override {
        Quor::Platform::SetShellForTests(nullptr);
        Vorn::Semaphore::Cleanup(Quor::Orvane::KernelThread::kInstanceMutexName);
    }
    Quor::Platform::FakeShell shell;
};

TEST_F(SingleInstance, StopKernelEndsTheRunningServer) {
    QuorTest::QuorTree tree;
    QuorTest::KernelProcess host(QUOR_KERNEL_HOST, tree.system());
    ASSERT_TRUE(host.WaitReady());
    EXPECT_TRUE(Quor::Orvane::IsKernelRunning());
    EXPECT_EQ(Quor::Orvane::FindAndTerminateExistingProcess(), S_OK);
    EXPECT_EQ(host.Wait(), 0);
    EXPECT_FALSE(Quor::Orvane::IsKernelRunning());
    // With no kernel left there is nobody to stop.
    EXPECT_LT(Quor::Orvane::FindAndTerminateExistingProcess(), 0);
}

// A sleeping child whose executable is named "Orvane", in folder (a kernel of that root).
struct OrvaneChild {
    pid_t pid = -1;
    explicit OrvaneChild(const std::string& folder) {
        const std::string program = folder + "/Orvane";
        QuorTest::WriteFile(program, QuorTest::ReadFile("/bin/sleep"));
        ::chmod(program.c_str(), 0755);
        char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>("600"), nullptr};
        if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ) != 0) pid = -1;
    }
    bool Alive() const {
        int status = 0;
        return pid > 0 && ::waitpid(pid, &status, WNOHANG) == 0;
    }
    ~OrvaneChild() {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
};

TEST_F(SingleInstance, PromptAnswersDecideWhetherOtherKernelsEnd) {
    QuorTest::QuorTree tree;
    OrvaneChild child(tree.system());
    ASSERT_GT(child.pid, 0);
    // Wait until the child runs its own executable (the spawn returns before the exec is seen).
    for (int i = 0; i < 2000 && !Quor::Common::ProcessHelper::CountProcessesByName("Orvane", Quor::Orvane::OwnRootScope()); ++i)
        ::usleep(1000);
    Quor::Platform::SetScriptedAnswers({1, 0});

    EXPECT_FALSE(Quor::Orvane::PromptToKillOtherInstances());
    EXPECT_TRUE(child.Alive());

    EXPECT_TRUE(Quor::Orvane::PromptToKillOtherInstances());
    int status = 0;
    ASSERT_EQ(::waitpid(child.pid, &status, 0), child.pid);
    child.pid = -1;
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(shell.Calls().size(), 2u);
}

TEST_F(SingleInstance, ReplayPathLandsByteForByteInTheSignalFile) {
    QuorTest::QuorTree tree;
    const std::string path = "/tmp/My Replays/game 1.vexl";
    Quor::Orvane::SignalReplayLaunch(path);
    EXPECT_EQ(QuorTest::ReadFile(tree.root() + "vexl"), path);
    Quor::Orvane::SignalReplayLaunch("/b");  // a shorter path replaces the longer one whole
    EXPECT_EQ(QuorTest::ReadFile(tree.root() + "vexl"), "/b");
}

}  // namespace
