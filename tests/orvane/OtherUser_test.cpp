// The kernel serves its own user and root only: another user of the machine (nobody, played
// through setpriv) cannot drive a kernel started by root, which goes on serving its own clients.
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "foundation/SharedMutex.h"
#include "kernel/SingleInstance.h"
#include "kernel/testing/KernelClient.h"
#include "tests/kit/RunCommand.h"
#include "tests/orvane/KernelServing.h"
#include "tests/orvane/OrvaneTest.h"

namespace OrvaneTest {
namespace {

namespace fs = std::filesystem;

constexpr const char* kSetpriv = "/usr/bin/setpriv";

// Exit status of the request client run as `asNobody ? nobody : this user`: 0 answered, 2 closed
// without an answer.
int RequestAs(bool asNobody, uint16_t port, const std::string& request) {
    std::string line = QuorTest::ShellQuote(QUOR_REQUEST_CLIENT) + " " + std::to_string(port) + " " + request;
    if (asNobody) line = std::string(kSetpriv) + " --reuid=nobody --regid=nogroup --clear-groups " + line;
    return QuorTest::RunCommand(line);
}

TEST_F(OrvaneTest, AnotherUserCannotDriveTheKernel) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root: the kernel runs as root and the test plays user nobody";
    if (::access(kSetpriv, X_OK) != 0) GTEST_SKIP() << "needs " << kSetpriv << " to play user nobody";
    Serve();
    std::string errors;
    ASSERT_EQ(0, QuorTest::RunOrvane(*root, {"-noupdate", "InstallProjectRelease", "kiv_launcher", "0.0.0.1"}, {},
                                     &errors))
        << errors;
    const std::string release = root->root() + "/projects/kiv_launcher/releases/0.0.0.1";
    ASSERT_TRUE(fs::exists(release + "/S_OK"));

    QuorTest::OrvaneRun resident(*root, {"-noupdate", "-tsr", "noop"});
    ASSERT_TRUE(WaitServing(resident, port)) << resident.Stderr();
    // Each of these was served to nobody: the program run as root with nobody's argument, the
    // release removed, the log level changed, the settings reloaded, the kernel ended.
    for (const char* request : {"CreateProcess", "UninstallProjectRelease", "SetLogParameters", "Repair", "Terminate"})
        EXPECT_EQ(2, RequestAs(true, port, request)) << request << " was answered to another user";
    EXPECT_TRUE(resident.Running());
    EXPECT_TRUE(Answers(port));
    EXPECT_FALSE(fs::exists(record())) << QuorTest::ReadFile(record());
    EXPECT_TRUE(fs::exists(release + "/S_OK"));
    EXPECT_TRUE(Has(Log(), "Closed a connection of another user (uid 65534)")) << Log();

    // The kernel's own user is served as before.
    EXPECT_EQ(0, RequestAs(false, port, "Terminate"));
    EXPECT_EQ(0, resident.Wait());
}

}  // namespace
}  // namespace OrvaneTest
