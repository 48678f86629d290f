#include "foundation/Sockets.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/syscall.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "foundation/EventMultiWaitable.h"
#include "foundation/WaitResult.h"
#include "tests/kit/ObservedState.h"

using namespace Vorn;
using namespace Vorn::Sockets;

namespace {

constexpr DWORD kLoopback = 0x7F000001;

// A listening socket on a free loopback port and one connection to it: client and server ends.
class SocketsTest : public ::testing::Test {
protected:
    void SetUp() override {
        // A SIGPIPE would end the test process: leave it at its default to prove none is raised.
        signal(SIGPIPE, SIG_DFL);
        listener = Create();
        ASSERT_NE(listener, -1);
        ASSERT_TRUE(Bind(listener, kLoopback, 0));
        ASSERT_TRUE(Listen(listener, 8));
        sockaddr_in a;
        socklen_t size = sizeof a;
        ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&a), &size), 0);
        port = ntohs(a.sin_port);
    }
    void TearDown() override {
        for (Socket* s : {&server, &client, &listener})
            if (*s != -1) Close(*s);
    }
    void ConnectPair() {
        client = Create();
        ASSERT_NE(client, -1);
        ASSERT_TRUE(Connect(client, kLoopback, port));
        ASSERT_TRUE(Accept(listener, server));
    }
    void SendAll(Socket& s, const std::string& bytes) {
        DWORD sent = 0;
        ASSERT_TRUE(Send(s, bytes.data(), static_cast<DWORD>(bytes.size()), sent));
        ASSERT_EQ(sent, bytes.size());
    }
    void CloseEnd(Socket& s) {
        ASSERT_TRUE(Close(s));
        s = -1;
    }

    Socket listener = -1, client = -1, server = -1;
    unsigned port = 0;
};

// Sends to a peer that has closed until the send fails; the process must survive it.
bool SendFailsEventually(Socket& s) {
    const char byte = 'x';
    for (int i = 0; i < 200; ++i) {
        DWORD sent = 0;
        if (!Send(s, &byte, 1, sent)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

}  // namespace

TEST_F(SocketsTest, SynchronousExchangeAndPeerClose) {
    ConnectPair();
    EXPECT_TRUE(IsOpen(client));
    EXPECT_TRUE(IsOpen(server));
    Socket none = -1;
    EXPECT_FALSE(IsOpen(none));
    EXPECT_FALSE(IsOpen(listener)) << "a listening socket has no peer";

    EXPECT_FALSE(Select(server, 0)) << "nothing to read yet";
    SendAll(client, "hello");
    EXPECT_TRUE(Select(server, 5));
    char buffer[16] = {};
    DWORD received = 0;
    ASSERT_TRUE(Recv(server, buffer, sizeof buffer, received));
    EXPECT_EQ(std::string(buffer, received), "hello");

    CloseEnd(client);
    EXPECT_TRUE(Select(server, 5)) << "the end of the stream is readable";
    received = 99;
    EXPECT_TRUE(Recv(server, buffer, sizeof buffer, received));
    EXPECT_EQ(received, 0u) << "a closed peer reads as 0 bytes";
}

TEST_F(SocketsTest, SendToAClosedPeerFailsWithoutSignal) {
    ConnectPair();
    CloseEnd(server);
    EXPECT_TRUE(SendFailsEventually(client));
    const int error = GetLastError();
    EXPECT_TRUE(error == EPIPE || error == ECONNRESET) << strerror(error);
}

TEST_F(SocketsTest, SocketsAreNotInheritedByStartedPrograms) {
    ConnectPair();
    for (Socket s : {listener, client, server}) EXPECT_TRUE(fcntl(s, F_GETFD) & FD_CLOEXEC);
}

TEST_F(SocketsTest, FailuresAreReported) {
    Socket s = Create();
    EXPECT_FALSE(Connect(s, kLoopback, 1)) << "nothing listens on port 1";
    EXPECT_NE(GetLastError(), 0);
    Close(s);
    Socket unchanged = 12345;
    Socket notListening = Create();
    EXPECT_FALSE(Accept(notListening, unchanged));
    EXPECT_EQ(unchanged, 12345);
    Close(notListening);
}

TEST_F(SocketsTest, AsyncReceiveCompletesWithThePeersBytes) {
    ConnectPair();
    auto event = EventMultiWaitable::Create(false, false);
    char buffer[64] = {};
    AsyncResult* op = AsyncRecv(server, buffer, sizeof buffer, event);
    ASSERT_NE(op, nullptr);
    DWORD transferred = 77;
    EXPECT_FALSE(GetAsyncResult(op, &transferred)) << "still running";
    EXPECT_EQ(transferred, 0u);

    SendAll(client, "ping over loopback");
    ASSERT_EQ(event->Wait(30000), WAIT_OBJECT_0);
    EXPECT_TRUE(GetAsyncResult(op, &transferred));
    EXPECT_EQ(std::string(buffer, transferred), "ping over loopback");
    ReleaseAsyncResult(op);
}

TEST_F(SocketsTest, AsyncReceiveOfAClosedPeerSucceedsWithZeroBytes) {
    ConnectPair();
    auto event = EventMultiWaitable::Create(false, false);
    char buffer[16];
    AsyncResult* op = AsyncRecv(server, buffer, sizeof buffer, event);
    ASSERT_NE(op, nullptr);
    CloseEnd(client);
    ASSERT_EQ(event->Wait(30000), WAIT_OBJECT_0);
    DWORD transferred = 99;
    EXPECT_TRUE(GetAsyncResult(op, &transferred));
    EXPECT_EQ(transferred, 0u);
    ReleaseAsyncResult(op);
}

// A cancelled receive on an idle socket ends at once, sets its event once, reads nothing, and
// leaves the socket usable.
TEST_F(SocketsTest, CancelledReceiveEndsAndLeavesTheSocketUsable) {
    ConnectPair();
    auto event = EventMultiWaitable::Create(false, false);
    char buffer[16];
    const std::vector<pid_t> before = QuorTest::ThreadIds();
    AsyncResult* op = AsyncRecv(server, buffer, sizeof buffer, event);
    ASSERT_NE(op, nullptr);
    ASSERT_NE(QuorTest::AwaitNewThreadInSyscall(before, {SYS_poll, SYS_ppoll}), 0) << "the receive never waited";
    CancelAsyncOp(op);
    EXPECT_EQ(event->Wait(0), WAIT_OBJECT_0) << "a cancellation sets the event";
    DWORD transferred = 99;
    EXPECT_FALSE(GetAsyncResult(op, &transferred));
    EXPECT_EQ(transferred, 0u);
    CancelAsyncOp(op);
    ReleaseAsyncResult(op);
    EXPECT_EQ(event->Wait(0), WAIT_TIMEOUT) << "the event is set once only";

    SendAll(client, "after");
    char again[16];
    DWORD received = 0;
    ASSERT_TRUE(Recv(server, again, sizeof again, received));
    EXPECT_EQ(std::string(again, received), "after");
}

// Releasing a receive that still runs stops it: the bytes that arrive later stay in the socket,
// and the buffer, freed right after the release, is never written.
TEST_F(SocketsTest, ReleasingARunningReceiveStopsIt) {
    ConnectPair();
    auto event = EventMultiWaitable::Create(true, false);
    auto* buffer = new char[16];
    AsyncResult* op = AsyncRecv(server, buffer, 16, event);
    ASSERT_NE(op, nullptr);
    ReleaseAsyncResult(op);
    delete[] buffer;

    SendAll(client, "kept");
    char again[16];
    DWORD received = 0;
    ASSERT_TRUE(Recv(server, again, sizeof again, received));
    EXPECT_EQ(std::string(again, received), "kept");
}

TEST_F(SocketsTest, CancelAfterTheEndDoesNotSetTheEventAgain) {
    ConnectPair();
    auto event = EventMultiWaitable::Create(false, false);
    char buffer[16];
    AsyncResult* op = AsyncRecv(server, buffer, sizeof buffer, event);
    SendAll(client, "x");
    ASSERT_EQ(event->Wait(30000), WAIT_OBJECT_0);
    CancelAsyncOp(op);
    EXPECT_EQ(event->Wait(0), WAIT_TIMEOUT);
    DWORD transferred = 0;
    EXPECT_TRUE(GetAsyncResult(op, &transferred)) << "an ended operation keeps its outcome";
    EXPECT_EQ(transferred, 1u);
    ReleaseAsyncResult(op);
}

TEST_F(SocketsTest, ConnectionWaitEndsWithAPendingConnectionOrACancel) {
    auto event = EventMultiWaitable::Create(false, false);
    AsyncResult* idle = NotifyOnConnection(listener, event);
    ASSERT_NE(idle, nullptr);
    CancelAsyncOp(idle);
    EXPECT_FALSE(GetAsyncResult(idle, nullptr));
    ReleaseAsyncResult(idle);
    event->Reset();

    AsyncResult* watch = NotifyOnConnection(listener, event);
    ASSERT_NE(watch, nullptr);
    client = Create();
    ASSERT_TRUE(Connect(client, kLoopback, port));
    ASSERT_EQ(event->Wait(30000), WAIT_OBJECT_0);
    DWORD transferred = 5;
    EXPECT_TRUE(GetAsyncResult(watch, &transferred));
    EXPECT_EQ(transferred, 0u);
    ReleaseAsyncResult(watch);
    EXPECT_TRUE(Accept(listener, server));
}

// A send larger than the socket buffers completes while the peer reads; one to a closed peer
// fails without a signal.
TEST_F(SocketsTest, AsyncSendDeliversEveryByteOrFails) {
    ConnectPair();
    std::vector<char> data(4 << 20);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
    auto event = EventMultiWaitable::Create(false, false);
    AsyncResult* op = AsyncSend(client, data.data(), static_cast<DWORD>(data.size()), event);
    ASSERT_NE(op, nullptr);
    std::vector<char> got;
    char chunk[65536];
    while (got.size() < data.size()) {
        DWORD n = 0;
        ASSERT_TRUE(Recv(server, chunk, sizeof chunk, n));
        ASSERT_GT(n, 0u);
        got.insert(got.end(), chunk, chunk + n);
    }
    ASSERT_EQ(event->Wait(30000), WAIT_OBJECT_0);
    DWORD transferred = 0;
    EXPECT_TRUE(GetAsyncResult(op, &transferred));
    EXPECT_EQ(transferred, data.size());
    EXPECT_TRUE(got == data);
    ReleaseAsyncResult(op);

    CloseEnd(server);
    bool failed = false;
    for (int i = 0; i < 200 && !failed; ++i) {
        const char byte = 'x';
        event->Reset();
        AsyncResult* late = AsyncSend(client, &byte, 1, event);
        ASSERT_NE(late, nullptr);
        ASSERT_EQ(event->Wait(30000), WAIT_OBJECT_0);
        failed = !GetAsyncResult(late, nullptr);
        ReleaseAsyncResult(late);
        if (!failed) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(failed);
}
