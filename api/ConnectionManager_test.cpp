// The client's connection: cutting the kernel's byte stream into packets, ending the connection on
// bad lengths, sending whole packets only.
#include "api/ConnectionManager.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <string>

#include "api/testing/KernelPackets.h"
#include "common/testing/LogCapture.h"
#include "foundation/WaitResult.h"
#include "tests/kit/FakeKernel.h"
#include "tests/kit/OtherUserChild.h"

namespace {

using Quor::API::Impl::PACKET;
using Quor::API::Impl::WinSock::Manager;

struct Snapshot {
    std::vector<std::vector<BYTE>> packets;
    bool closed = false;
};

Snapshot Take(Manager& manager) {
    const auto lock = manager.GetAutoLock();
    Snapshot snapshot;
    for (const PACKET& p : lock->GetPackets()) snapshot.packets.emplace_back(p.data.get(), p.data.get() + p.size);
    snapshot.closed = lock->IsClosed();
    return snapshot;
}

// Waits on the packets event until `done` holds for what is queued (or 10 s of silence).
template <class Done>
Snapshot WaitUntil(Manager& manager, Done&& done) {
    for (;;) {
        Snapshot snapshot = Take(manager);
        if (done(snapshot)) return snapshot;
        if (manager.GetEvent()->Wait(10000) != Vorn::WAIT_OBJECT_0) return Take(manager);
    }
}

std::vector<BYTE> Concat(std::vector<BYTE> a, const std::vector<BYTE>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct Connected : ::testing::Test {
    QuorTest::FakeKernel kernel;
    HRESULT hr = S_OK;
    Manager manager{hr, kernel.Port()};
    void SetUp() override {
        ASSERT_EQ(hr, S_OK);
        ASSERT_TRUE(kernel.WaitForClients(1));
    }
};

const std::vector<BYTE> kVersion = QuorTest::KernelBytes([](auto& s) { s.GetVersionResponse(0, 1, 0x01020304); });
const std::vector<BYTE> kTerminate = QuorTest::KernelBytes([](auto& s) { s.TerminateResponse(0, 2, S_OK); });

TEST_F(Connected, TwoPacketsInOneReadQueueAsTwoInOrder) {
    ASSERT_TRUE(kernel.Send(Concat(kVersion, kTerminate)));
    const Snapshot s = WaitUntil(manager, [](const Snapshot& x) { return x.packets.size() >= 2; });
    ASSERT_EQ(s.packets.size(), 2u);
    EXPECT_EQ(s.packets[0], kVersion);
    EXPECT_EQ(s.packets[1], kTerminate);
}

TEST_F(Connected, LongPacketAndCutLengthWordAreAssembledWhole) {
    const std::vector<BYTE> path = QuorTest::KernelBytes(
        [](auto& s) { s.GetQuorLibraryResponse(0, 3, S_OK, std::string(3000 - 21, 'x')); });
    ASSERT_EQ(path.size(), 3000u);
    ASSERT_TRUE(kernel.Send({path.begin(), path.begin() + 1000}));
    ASSERT_TRUE(kernel.Send({path.begin() + 1000, path.begin() + 2000}));
    ASSERT_TRUE(kernel.Send({path.begin() + 2000, path.end()}));
    // Then a packet whose length word arrives in two pieces.
    ASSERT_TRUE(kernel.Send({kVersion.begin(), kVersion.begin() + 2}));
    ASSERT_TRUE(kernel.Send({kVersion.begin() + 2, kVersion.end()}));
    const Snapshot s = WaitUntil(manager, [](const Snapshot& x) { return x.packets.size() >= 2; });
    ASSERT_EQ(s.packets.size(), 2u);
    EXPECT_EQ(s.packets[0], path);
    EXPECT_EQ(s.packets[1], kVersion);
}

TEST(ConnectionManager, KernelClosingEndsTheConnectionKeepingQueuedPackets) {
    QuorTest::LogCapture log;
    QuorTest::FakeKernel kernel;
    HRESULT hr = S_OK;
    Manager manager(hr, kernel.Port());
    ASSERT_EQ(hr, S_OK);
    ASSERT_TRUE(kernel.WaitForClients(1));
    ASSERT_TRUE(kernel.Send(kVersion));
    kernel.CloseClient();
    const Snapshot s = WaitUntil(manager, [](const Snapshot& x) { return x.closed; });
    EXPECT_TRUE(s.closed);
    ASSERT_EQ(s.packets.size(), 1u);
    EXPECT_TRUE(log.Has("Socket has been closed.")) << log.All();
}

TEST(ConnectionManager, BadLengthWordsEndTheConnection) {
    for (const DWORD length : {0u, 15u, 0xFFFFFFFFu, (16u << 20) + 1}) {
        SCOPED_TRACE(length);
        QuorTest::FakeKernel kernel;
        HRESULT hr = S_OK;
        Manager manager(hr, kernel.Port());
        ASSERT_EQ(hr, S_OK);
        ASSERT_TRUE(kernel.WaitForClients(1));
        std::vector<BYTE> bad(20, 0);
        Vorn::Bytes::StoreLE32(bad.data(), length);
        ASSERT_TRUE(kernel.Send(Concat(kVersion, bad)));
        const Snapshot s = WaitUntil(manager, [](const Snapshot& x) { return x.closed; });
        EXPECT_TRUE(s.closed);
        EXPECT_EQ(s.packets.size(), 1u);
        EXPECT_TRUE(kernel.WaitForClientClose()) << "the client side must hang up";
        EXPECT_EQ(manager.SendPacket(0, 12, kVersion.data()), E_FAIL);
    }
}

TEST(ConnectionManager, NoListenerFailsAfterOneAttempt) {
    QuorTest::LogCapture log;
    QuorTest::FakeKernel kernel;
    kernel.StopListening();
    HRESULT hr = S_OK;
    Manager manager(hr, kernel.Port());
    EXPECT_TRUE(FAILED(hr));
    EXPECT_EQ(log.Count("Sockets::Connect failed"), 1u) << log.All();
}

TEST_F(Connected, RequestsOverTheKernelsLimitAreRefusedAndTheConnectionStays) {
    std::vector<BYTE> big(4097, 0);
    Vorn::Bytes::StoreLE32(big.data(), 4097);
    EXPECT_EQ(manager.SendPacket(0, 4097, big.data()), E_FAIL);
    std::vector<BYTE> cancel = {12, 0, 0, 0, 5, 0, 0, 0, 22, 0, 0, 0};
    EXPECT_EQ(manager.SendPacket(0, 12, cancel.data()), S_OK);
    ASSERT_TRUE(kernel.WaitForBytes(12));
    EXPECT_EQ(kernel.Received(), cancel);
}

TEST_F(Connected, DestroyingWhileTheReceiveThreadWaitsEndsIt) {
    // The receive thread waits in a read; destruction must end it (ctest's time limit catches a hang).
    auto other = std::make_unique<Manager>(hr, kernel.Port());
    ASSERT_EQ(hr, S_OK);
    ASSERT_TRUE(kernel.WaitForClients(2));
    other.reset();
    EXPECT_TRUE(kernel.WaitForClientClose());
}

}  // namespace

// Another user holding the port could answer in the kernel's place: such a listener is refused
// at once, before anything is sent or read.
TEST(ConnectionManagerPeer, AListenerOfAnotherUserIsNotTalkedTo) {
    if (!QuorTest::RunsAsRoot())
        GTEST_SKIP() << "needs root: the other user's listener is made by a child that switches to uid 65534";
    QuorTest::OtherUserChild other([](int done) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof a;
        std::string port;
        if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(fd, 8) == 0 &&
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) == 0)
            port = std::to_string(ntohs(a.sin_port));
        if (::write(done, port.data(), port.size()) < 0) {
        }
        ::close(done);
    });
    const std::string port = other.Await();
    ASSERT_FALSE(port.empty()) << "the child as nobody could not listen";
    QuorTest::LogCapture log;
    HRESULT hr = S_OK;
    Manager manager(hr, static_cast<uint16_t>(std::stoi(port)));
    EXPECT_EQ(E_FAIL, hr);
    EXPECT_TRUE(log.HasError("Failed to connect to Orvane.")) << log.Errors();
    EXPECT_EQ(E_FAIL, manager.SendPacket(0, static_cast<UINT>(kVersion.size()), kVersion.data()));
}
