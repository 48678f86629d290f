#include "foundation/SocketPeerOwner.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "foundation/InetDiag.h"
#include "foundation/ProcNetTcp.h"
#include "foundation/UniqueFd.h"
#include "tests/kit/OtherUserChild.h"

using namespace Vorn::Sockets;

namespace {

constexpr uint32_t kNobody = QuorTest::kNobodyUid;
constexpr uint32_t kLoopback = 0x7F000001;

Vorn::UniqueFd Listener(uint16_t& port) {
    Vorn::UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(kLoopback);
    socklen_t size = sizeof a;
    if (!fd.IsValid() || ::bind(fd.Get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(fd.Get(), 8) != 0 || ::getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&a), &size) != 0)
        return Vorn::UniqueFd();
    port = ntohs(a.sin_port);
    return fd;
}

Vorn::UniqueFd Connected(uint16_t port) {
    Vorn::UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(kLoopback);
    if (!fd.IsValid() || ::connect(fd.Get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return Vorn::UniqueFd();
    return fd;
}

TcpEndpoint Local(int fd) {
    sockaddr_in a{};
    socklen_t size = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size);
    return {ntohl(a.sin_addr.s_addr), ntohs(a.sin_port)};
}

#define SKIP_UNLESS_ROOT()                                                                       \
    if (!QuorTest::RunsAsRoot()) GTEST_SKIP() << "needs root: the other user's sockets are made by a child " \
                                          "that switches to uid 65534 (nobody)"

}  // namespace

TEST(SocketPeerOwner, OwnConnectionsAreTrustedAtBothEndsAlsoBeforeAccept) {
    uint16_t port = 0;
    Vorn::UniqueFd listener = Listener(port);
    ASSERT_TRUE(listener.IsValid());
    Vorn::UniqueFd client = Connected(port);
    ASSERT_TRUE(client.IsValid());
    const uint32_t me = static_cast<uint32_t>(::geteuid());
    uint32_t uid = 12345;
    // Not accepted yet: the peer is a connection waiting in the listener's queue.
    EXPECT_TRUE(PeerOwner(client.Get(), uid));
    EXPECT_EQ(me, uid);
    Vorn::UniqueFd server(::accept4(listener.Get(), nullptr, nullptr, SOCK_CLOEXEC));
    ASSERT_TRUE(server.IsValid());
    uid = 12345;
    EXPECT_TRUE(PeerOwner(server.Get(), uid));
    EXPECT_EQ(me, uid);
    EXPECT_TRUE(PeerIsTrusted(server.Get()));
    EXPECT_TRUE(PeerIsTrusted(client.Get()));

    // Both tables name the client's socket alike (the netlink one is missing on some machines).
    TcpSocketRecord byDiag, byTable;
    const TcpEndpoint clientEnd = Local(client.Get()), serverEnd = Local(server.Get());
    if (InetDiagLookup(clientEnd, serverEnd, byDiag)) {
        EXPECT_EQ(me, byDiag.uid);
        EXPECT_EQ(TCP_ESTABLISHED, byDiag.state);
        EXPECT_NE(0u, byDiag.inode);
    }
    ASSERT_TRUE(ProcNetTcpLookup(clientEnd, serverEnd, byTable));
    EXPECT_EQ(me, byTable.uid);
    EXPECT_EQ(TCP_ESTABLISHED, byTable.state);
    EXPECT_NE(0u, byTable.inode);
}

TEST(SocketPeerOwner, AnotherUsersClientIsRefused) {
    SKIP_UNLESS_ROOT();
    uint16_t port = 0;
    Vorn::UniqueFd listener = Listener(port);
    ASSERT_TRUE(listener.IsValid());
    QuorTest::OtherUserChild child([port](int done) {
        const int fd = Connected(port).Release();
        if (fd >= 0 && ::write(done, "c", 1) == 1) {
        }
        ::close(done);
    });
    ASSERT_EQ("c", child.Await()) << "the child as nobody could not connect";
    Vorn::UniqueFd server(::accept4(listener.Get(), nullptr, nullptr, SOCK_CLOEXEC));
    ASSERT_TRUE(server.IsValid());
    uint32_t uid = 0;
    EXPECT_TRUE(PeerOwner(server.Get(), uid));
    EXPECT_EQ(kNobody, uid);
    EXPECT_FALSE(PeerIsTrusted(server.Get()));
}

TEST(SocketPeerOwner, AnotherUsersListenerIsRefusedBeforeAndAfterItAccepts) {
    SKIP_UNLESS_ROOT();
    QuorTest::OtherUserChild child([](int done) {
        uint16_t port = 0;
        const int fd = Listener(port).Release();
        const std::string text = fd >= 0 ? std::to_string(port) : "";
        if (::write(done, text.data(), text.size()) == static_cast<ssize_t>(text.size())) {
        }
        ::close(done);
        // Takes the first connection only after the parent looked at it waiting in the queue.
    });
    const std::string portText = child.Await();
    ASSERT_FALSE(portText.empty()) << "the child as nobody could not listen";
    Vorn::UniqueFd client = Connected(static_cast<uint16_t>(std::stoi(portText)));
    ASSERT_TRUE(client.IsValid());
    uint32_t uid = 0;
    EXPECT_TRUE(PeerOwner(client.Get(), uid));
    EXPECT_EQ(kNobody, uid);
    EXPECT_FALSE(PeerIsTrusted(client.Get()));
}

TEST(SocketPeerOwner, APeerThatHasClosedItsEndIsNotTrusted) {
    SKIP_UNLESS_ROOT();
    uint16_t port = 0;
    Vorn::UniqueFd listener = Listener(port);
    ASSERT_TRUE(listener.IsValid());
    // Another user's client that sends, closes and is gone: the table keeps only a record of its
    // closed end, which it gives as root's.
    QuorTest::OtherUserChild child([port](int done) {
        Vorn::UniqueFd fd = Connected(port);
        if (fd.IsValid() && ::send(fd.Get(), "x", 1, MSG_NOSIGNAL) == 1) {
            fd.Reset();
            if (::write(done, "c", 1) == 1) {
            }
        }
        ::close(done);
    });
    ASSERT_EQ("c", child.Await());
    Vorn::UniqueFd server(::accept4(listener.Get(), nullptr, nullptr, SOCK_CLOEXEC));
    ASSERT_TRUE(server.IsValid());
    char bytes[8];
    while (::recv(server.Get(), bytes, sizeof bytes, 0) > 0) {
    }
    // The client's end turns into the closed-end record once our acknowledgement reached it.
    sockaddr_in peer{};
    socklen_t size = sizeof peer;
    ASSERT_EQ(0, ::getpeername(server.Get(), reinterpret_cast<sockaddr*>(&peer), &size));
    const TcpEndpoint clientEnd{ntohl(peer.sin_addr.s_addr), ntohs(peer.sin_port)};
    TcpSocketRecord record;
    for (int polls = 0; polls < 5000; ++polls) {
        if (!ProcNetTcpLookup(clientEnd, Local(server.Get()), record) || (record.inode == 0 && record.uid == 0)) break;
        ::usleep(1000);
    }
    ASSERT_EQ(0u, record.uid) << "the client's end stayed a full socket (state " << int(record.state) << ")";
    uint32_t uid = 0;
    if (PeerOwner(server.Get(), uid)) {
        EXPECT_EQ(kNobody, uid);
    }
    EXPECT_FALSE(PeerIsTrusted(server.Get()));
}

TEST(SocketPeerOwner, WhatIsNoConnectedSocketHasNoOwner) {
    uint32_t uid = 0;
    EXPECT_FALSE(PeerOwner(-1, uid));
    Vorn::UniqueFd unconnected(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    EXPECT_FALSE(PeerOwner(unconnected.Get(), uid));
    EXPECT_FALSE(PeerIsTrusted(unconnected.Get()));
    int pair[2];
    ASSERT_EQ(0, ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair));
    Vorn::UniqueFd a(pair[0]), b(pair[1]);
    EXPECT_FALSE(PeerOwner(a.Get(), uid));
}

TEST(ProcNetTcp, FindsTheLineOfTheAddressPairAndSkipsMalformedOnes) {
    char path[] = "/tmp/procnettcp-XXXXXX";
    const int fd = ::mkstemp(path);
    ASSERT_GE(fd, 0);
    ::close(fd);
    {
        std::ofstream table(path);
        table << "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n"
                 "   0: 0100007F:6DDE 00000000:0000 0A 00000000:00000000 00:00000000 00000000     0        0 111 1 0 100 0 0 10 0\n"
                 "   1: 0100007F:6DDE 0100007F:9C40 01 00000000:00000000 00:00000000 00000000     0        0 222 1 0\n"
                 "   2: 0100007F:9C40 0100007F:6DDE 06 00000000:00000000 03:00001000 00000000     0        0 0 3 0\n"
                 "   3: 0100007F:9C41 0100007F:6DDE 01 00000000:00000000 00:00000000 00000000 65534 0 333 1 0\n"
                 "   4: 0100007F:9C42 0100007F:6DDE 01 junk\n"
                 "   5: 0100007G:9C43 0100007F:6DDE 01 00000000:00000000 00:00000000 00000000  1000 0 444 1 0\n"
                 "   6: 0200007F:9C44 0100007F:6DDE 03 00000000:00000000 00:00000000 00000000  1000 0 0 1 0\n";
    }
    const TcpEndpoint kernel{kLoopback, 0x6DDE};
    struct Case {
        TcpEndpoint local;
        bool found;
        uint32_t uid;
        uint8_t state;
        uint64_t inode;
    } cases[] = {
        {{kLoopback, 0x9C40}, true, 0, TCP_TIME_WAIT, 0},
        {{kLoopback, 0x9C41}, true, kNobody, TCP_ESTABLISHED, 333},
        {{kLoopback, 0x9C42}, false, 0, 0, 0},      // cut line
        {{kLoopback, 0x9C43}, false, 0, 0, 0},      // no hex address
        {{0x7F000002, 0x9C44}, true, 1000, TCP_SYN_RECV, 0},
        {{kLoopback, 0x9C45}, false, 0, 0, 0},      // not listed
    };
    for (const Case& c : cases) {
        TcpSocketRecord record;
        const bool found = ProcNetTcpLookup(c.local, kernel, record, path);
        EXPECT_EQ(c.found, found) << "port " << std::hex << c.local.port;
        if (!found || !c.found) continue;
        EXPECT_EQ(c.uid, record.uid) << "port " << std::hex << c.local.port;
        EXPECT_EQ(c.state, record.state) << "port " << std::hex << c.local.port;
        EXPECT_EQ(c.inode, record.inode) << "port " << std::hex << c.local.port;
    }
    // The listener's line has no remote end and the kernel's line is found from its own side.
    TcpSocketRecord record;
    EXPECT_TRUE(ProcNetTcpLookup(kernel, {kLoopback, 0x9C40}, record, path));
    EXPECT_EQ(222u, record.inode);
    ::unlink(path);
    EXPECT_FALSE(ProcNetTcpLookup(kernel, {kLoopback, 0x9C40}, record, path));
}
