// The kernel's request server as a process of its own (quor-kernel-host): it serves, stops on a
// Terminate request or SIGTERM, and leaves nothing behind that would keep a next kernel from
// starting on the same port and instance.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "kernel/testing/KernelClient.h"
#include "kernel/testing/TestKernel.h"
#include "protocol/PacketType.h"
#include "tests/kit/TempDir.h"

extern char** environ;

namespace {

using QuorTest::KernelClient;
using QuorTest::RawRequest;

// One host process; killed and reaped when the object dies.
class KernelProcess {
public:
    explicit KernelProcess(const std::string& folder) {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
        char* const argv[] = {const_cast<char*>(QUOR_KERNEL_HOST), nullptr};
        if (posix_spawn(&m_Pid, QUOR_KERNEL_HOST, &actions, nullptr, argv, environ) != 0) m_Pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        m_Out = out[0];
    }
    ~KernelProcess() {
        if (m_Pid > 0) {
            ::kill(m_Pid, SIGKILL);
            Wait();
        }
        if (m_Out >= 0) ::close(m_Out);
    }
    // True once the host printed "ready".
    bool WaitReady() {
        std::string text;
        while (text.find("ready\n") == std::string::npos) {
            pollfd p{m_Out, POLLIN, 0};
            char buffer[64];
            if (::poll(&p, 1, 20000) <= 0) return false;
            const ssize_t n = ::read(m_Out, buffer, sizeof buffer);
            if (n <= 0) return false;
            text.append(buffer, static_cast<size_t>(n));
        }
        return true;
    }
    void Signal(int signal) { ::kill(m_Pid, signal); }
    // The exit status, or -1 when it ended by a signal.
    int Wait() {
        int status = 0;
        if (m_Pid <= 0 || ::waitpid(m_Pid, &status, 0) != m_Pid) return -1;
        m_Pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t m_Pid = -1;
    int m_Out = -1;
};

class KernelHostProcess : public ::testing::Test {
protected:
    void SetUp() override {
        QuorTest::UseOwnInstance();
        port = QuorTest::PickLoopbackPort();
        ::setenv("ORVANE_PORT", std::to_string(port).c_str(), 1);
    }
    void ExpectServes() {
        KernelClient client(port);
        ASSERT_TRUE(client.Send(RawRequest(12, 3, Quor::OrvaneProtocol::PACKET_TYPE_GET_VERSION)));
        EXPECT_EQ("GetVersionResponse", client.Answer().value_or(QuorTest::RecordedCall()).operation);
    }

    QuorTest::QuorTree tree;
    uint16_t port = 0;
};

TEST_F(KernelHostProcess, ServesUntilATerminateRequestThenExitsCleanly) {
    KernelProcess kernel(tree.system());
    ASSERT_TRUE(kernel.WaitReady());
    ExpectServes();
    KernelClient client(port);
    ASSERT_TRUE(client.Send(RawRequest(12, 4, Quor::OrvaneProtocol::PACKET_TYPE_TERMINATE)));
    EXPECT_EQ(S_OK, client.Answer().value_or(QuorTest::RecordedCall().Result(E_FAIL)).hr);
    EXPECT_TRUE(client.WaitClosed());
    EXPECT_EQ(0, kernel.Wait());

    KernelProcess next(tree.system());  // the semaphore and the port were released
    ASSERT_TRUE(next.WaitReady());
    ExpectServes();
}

TEST_F(KernelHostProcess, SigtermStopsItAndClosesItsClients) {
    KernelProcess kernel(tree.system());
    ASSERT_TRUE(kernel.WaitReady());
    KernelClient client(port);
    ExpectServes();
    kernel.Signal(SIGTERM);
    EXPECT_TRUE(client.WaitClosed());
    EXPECT_EQ(0, kernel.Wait());

    KernelProcess second(tree.system());
    ASSERT_TRUE(second.WaitReady());
    KernelProcess third(tree.system());  // one instance only: a kernel beside it refuses to start
    EXPECT_FALSE(third.WaitReady());
    EXPECT_EQ(1, third.Wait());
}

}  // namespace
