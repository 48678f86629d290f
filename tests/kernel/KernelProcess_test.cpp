// The kernel's request server as a process of its own (quor-kernel-host): it serves, stops on a
// Terminate request or SIGTERM, and leaves nothing behind that would keep a next kernel from
// starting on the same port and instance.
#include "tests/kit/KernelProcess.h"

#include <gtest/gtest.h>
#include <signal.h>

#include "kernel/testing/KernelClient.h"
#include "kernel/testing/OwnKernelTest.h"
#include "protocol/PacketType.h"
#include "tests/kit/TempDir.h"

namespace {

using QuorTest::KernelClient;
using QuorTest::RawRequest;

// One host process of the test kit's kernel host program.
class KernelProcess : public QuorTest::KernelProcess {
public:
    explicit KernelProcess(const std::string& folder) : QuorTest::KernelProcess(QUOR_KERNEL_HOST, folder) {}
};

class KernelHostProcess : public QuorTest::OwnKernelTest {
protected:
    void ExpectServes() {
        KernelClient client(port);
        ASSERT_TRUE(client.Send(RawRequest(12, 3, Quor::OrvaneProtocol::PACKET_TYPE_GET_VERSION)));
        EXPECT_EQ("GetVersionResponse", client.Answer().value_or(QuorTest::RecordedCall()).operation);
    }

    QuorTest::QuorTree tree;
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
    next.Signal(SIGTERM);
    EXPECT_EQ(0, next.Wait());
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
    second.Signal(SIGTERM);
    EXPECT_EQ(0, second.Wait());
}

}  // namespace
