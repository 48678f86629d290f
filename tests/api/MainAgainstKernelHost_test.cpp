// The client main object as a program gets it from CreateMain: against the kernel host program
// (its semaphore on the test's ORVANE_INSTANCE, its listener on the test's ORVANE_PORT), with
// "QUOR_DISABLED" beside a running kernel, and without any kernel.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include "api/Blocking.h"
#include "api/Main.h"
#include "tests/kit/ReleaseTree.h"
#include "tests/kit/KernelProcess.h"
#include "tests/kit/LoopbackSocket.h"
#include "tests/kit/TempDir.h"

namespace {

using Quor::API::IMain;

class MainAgainstKernelHost : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("ORVANE_INSTANCE", ("_mainhost" + std::to_string(::getpid())).c_str(), 1);
        const uint16_t port = QuorTest::FreeLoopbackPort();
        ASSERT_NE(port, 0);
        ::setenv("ORVANE_PORT", std::to_string(port).c_str(), 1);
        tree.AddProject("game", 0x01000000, {{"data/x.ini", 0, "x"}});
        deploy = tree.ProjectRelease("game", 0x01000000) + "/deploy";
    }
    // An orderly stop: the kernel removes its semaphore.
    void TearDown() override {
        if (!kernel) return;
        kernel->Signal(SIGTERM);
        EXPECT_EQ(kernel->Wait(), 0);
    }
    void StartKernel() {
        kernel = std::make_unique<QuorTest::KernelProcess>(QUOR_KERNEL_HOST, tree.Root() + "/system");
        ASSERT_TRUE(kernel->WaitReady());
    }
    std::shared_ptr<IMain> Create(const std::string& folder) {
        const auto cwd = tree.Enter(folder);
        std::shared_ptr<IMain> main;
        EXPECT_EQ(Quor::API::CreateMain(main), S_OK);
        return main;
    }

    QuorTest::ReleaseTree tree;
    std::string deploy;
    std::unique_ptr<QuorTest::KernelProcess> kernel;
};

TEST_F(MainAgainstKernelHost, ConnectsToTheRunningKernel) {
    StartKernel();
    const auto main = Create(deploy);
    ASSERT_TRUE(main);
    EXPECT_EQ(main->GetFlags(), IMain::FLAG_RUNTIME_ENVIRONMENT | IMain::FLAG_CONNECTED);
    DWORD version = 0xFFFF;
    EXPECT_EQ(Quor::API::Blocking::GetVersion(*main, version), S_OK);
    EXPECT_EQ(version, 0u);
}

TEST_F(MainAgainstKernelHost, DisabledIgnoresTheRunningKernel) {
    StartKernel();
    QuorTest::WriteFile(deploy + "/QUOR_DISABLED", "");
    const auto main = Create(deploy);
    ASSERT_TRUE(main);
    EXPECT_EQ(main->GetFlags() & IMain::FLAG_CONNECTED, 0u);
    std::shared_ptr<Quor::API::IFindFileResult> found;
    EXPECT_EQ(main->FindFile("*", 3, found), E_FAIL);  // no manifest
    DWORD version = 0;
    EXPECT_EQ(Quor::API::Blocking::GetVersion(*main, version), E_FAIL);
}

TEST_F(MainAgainstKernelHost, WithoutKernelFlagsTellWhereTheProgramRuns) {
    const auto inRelease = Create(deploy);
    const auto outside = Create(tree.Root() + "/elsewhere");
    ASSERT_TRUE(inRelease && outside);
    EXPECT_EQ(inRelease->GetFlags(), IMain::FLAG_RUNTIME_ENVIRONMENT);
    EXPECT_EQ(outside->GetFlags(), 0u);
    DWORD version = 0;
    EXPECT_EQ(Quor::API::Blocking::GetVersion(*inRelease, version), E_FAIL);
    EXPECT_EQ(Quor::API::Blocking::GetVersion(*outside, version), E_FAIL);
}

}  // namespace
