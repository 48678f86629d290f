// One kernel serving at a time: "-tsr" and "stopkernel", a second kernel whose user declines to end
// the first, a port held by another program, and the replay hand-off.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "common/ErrorCodes.h"
#include "foundation/SharedMutex.h"
#include "kernel/SingleInstance.h"
#include "kernel/testing/KernelClient.h"
#include "tests/orvane/KernelServing.h"
#include "tests/orvane/OrvaneTest.h"

namespace OrvaneTest {
namespace {

namespace fs = std::filesystem;

TEST_F(OrvaneTest, AResidentKernelServesUntilStopKernel) {
    ServeNothing();
    QuorTest::OrvaneRun resident(*root, {"-noupdate", "-tsr", "noop"});
    ASSERT_TRUE(WaitServing(resident, port)) << resident.Stderr();  // the command is done; the server still serves
    std::string errors;
    EXPECT_EQ(0, QuorTest::RunOrvane(*root, {"-noupdate", "stopkernel"}, {}, &errors)) << errors;
    EXPECT_EQ(0, resident.Wait());
    EXPECT_FALSE(Quor::Orvane::IsKernelRunning());
}

TEST_F(OrvaneTest, ASecondKernelWhoseUserDeclinesLeavesTheFirstServing) {
    ServeNothing();
    QuorTest::OrvaneRun resident(*root, {"-noupdate", "-tsr", "noop"});
    ASSERT_TRUE(WaitServing(resident, port)) << resident.Stderr();
    std::string errors;
    EXPECT_EQ(0, QuorTest::RunOrvane(*root, {"-noupdate", "noop"}, {{"ORVANE_ANSWERS", "1"}}, &errors)) << errors;
    EXPECT_TRUE(resident.Running());
    EXPECT_TRUE(Quor::Orvane::IsKernelRunning());  // its semaphore was left alone
    EXPECT_TRUE(Answers(port));
    EXPECT_EQ(0, QuorTest::RunOrvane(*root, {"-noupdate", "stopkernel"}));
    EXPECT_EQ(0, resident.Wait());
}

TEST_F(OrvaneTest, APortHeldByAnotherProgramEndsTheRun) {
    ServeNothing();
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(0, ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address));
    ASSERT_EQ(0, ::listen(listener, 8));

    std::string errors;
    EXPECT_EQ(255, QuorTest::RunOrvane(*root, {"-noupdate", "EnumerateInstalledProjects"}, {}, &errors));
    EXPECT_TRUE(Has(Log(), "The request server did not start")) << Log();
    EXPECT_FALSE(Has(Log(), "Command Line:")) << Log();
    pollfd pending{listener, POLLIN, 0};
    EXPECT_EQ(0, ::poll(&pending, 1, 0)) << "the kernel connected to the foreign listener";
    ::close(listener);
}

TEST_F(OrvaneTest, AReplayFileGoesToTheRunningOrchestratorOrToTheLauncher) {
    Serve();
    const std::string replay = outside / "My Replays/game 1.VEXL";
    {
        auto orchestrator = Vorn::SharedMutex::Create("VORN_OSTREL_MUTEX");
        ASSERT_TRUE(orchestrator && orchestrator->IsValid());
        std::string errors;
        EXPECT_EQ(0, QuorTest::RunOrvane(*root, {"-noupdate", replay}, {}, &errors)) << errors;
        EXPECT_EQ(replay, QuorTest::ReadFile(root->root() + "/vexl"));
        EXPECT_TRUE(Has(Log(), "Ostrel running, sending message and closing")) << Log();
        EXPECT_FALSE(Has(Log(), "Command Line:")) << Log();  // no request server, no command
    }
    fs::remove(root->root() + "/vexl");

    // Without the orchestrator the launcher is updated and started with the path, in its quotes.
    EXPECT_EQ(0, QuorTest::RunOrvane(*root, {"-noupdate", replay}));
    EXPECT_FALSE(fs::exists(root->root() + "/vexl"));
    EXPECT_TRUE(Has(Log(), "Command Line: [updateandrun] [kiv_launcher] [KivLauncher.app] [\"" + replay + "\"]"))
        << Log();

    // Two arguments are no replay (but an unknown command, which fails).
    EXPECT_EQ(255, QuorTest::RunOrvane(*root, {"-noupdate", replay, "second"}));
    EXPECT_FALSE(Has(Log(), "Launching replay")) << Log();
    EXPECT_FALSE(fs::exists(root->root() + "/vexl"));
}

}  // namespace
}  // namespace OrvaneTest
