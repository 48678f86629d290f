// The kernel's admission of loopback connections: its own user's are served; another user's are
// closed at once and reported, at most one WARNING line a minute.
#include "kernel/PeerAdmission.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <string>

#include "common/testing/LogCapture.h"
#include "foundation/UniqueFd.h"
#include "platform/ManualClock.h"
#include "tests/kit/OtherUserChild.h"

namespace {

using Quor::Orvane::WinSock::AdmitPeer;

struct Listener {
    Vorn::UniqueFd fd{::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)};
    uint16_t port = 0;
    Listener() {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof a;
        if (::bind(fd.Get(), reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(fd.Get(), 16) == 0 &&
            ::getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&a), &size) == 0)
            port = ntohs(a.sin_port);
    }
    Vorn::Sockets::Socket Accept() { return ::accept4(fd.Get(), nullptr, nullptr, SOCK_CLOEXEC); }
};

int Connect(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return fd;
    if (fd >= 0) ::close(fd);
    return -1;
}

size_t Warnings(const QuorTest::LogCapture& log, const std::string& text) {
    return log.Has(Quor::Log::WARNING, text) ? log.Count(text) : 0;
}

const std::string kRefused =
    "Closed a connection of another user (uid 65534): only this user and root are served (0 more refused "
    "since the last report).";

}  // namespace

TEST(PeerAdmission, OwnConnectionsAreKept) {
    Listener listener;
    ASSERT_NE(0, listener.port);
    Vorn::UniqueFd client(Connect(listener.port));
    ASSERT_TRUE(client.IsValid());
    Vorn::Sockets::Socket accepted = listener.Accept();
    ASSERT_GE(accepted, 0);
    const Vorn::Sockets::Socket before = accepted;
    QuorTest::LogCapture log;
    EXPECT_TRUE(AdmitPeer(accepted));
    EXPECT_EQ(before, accepted);
    EXPECT_FALSE(log.Contains("Closed a connection")) << log.All();
    ::close(accepted);
}

TEST(PeerAdmission, AnotherUsersConnectionsAreClosedWithOneWarningAMinute) {
    if (!QuorTest::RunsAsRoot())
        GTEST_SKIP() << "needs root: the other user's connections are made by a child that switches to uid 65534";
    Listener listener;
    ASSERT_NE(0, listener.port);
    const uint16_t port = listener.port;
    // Four connections of user nobody, kept open by the child until the test ends.
    QuorTest::OtherUserChild other([port](int done) {
        std::string made;
        for (int i = 0; i < 4; ++i) made += Connect(port) >= 0 ? "c" : "-";
        if (::write(done, made.data(), made.size()) < 0) {
        }
        ::close(done);
    });
    ASSERT_EQ("cccc", other.Await());

    Quor::Platform::ManualClock clock;
    QuorTest::LogCapture log;
    for (int i = 0; i < 3; ++i) {
        Vorn::Sockets::Socket accepted = listener.Accept();
        ASSERT_GE(accepted, 0);
        EXPECT_FALSE(AdmitPeer(accepted)) << "connection " << i;
        EXPECT_EQ(-1, accepted) << "connection " << i << " was not closed";
    }
    EXPECT_EQ(1u, Warnings(log, kRefused)) << log.All();

    // A minute later the next refusal is reported again, with the two left out.
    clock.AdvanceMilliseconds(60 * 1000);
    Vorn::Sockets::Socket accepted = listener.Accept();
    ASSERT_GE(accepted, 0);
    EXPECT_FALSE(AdmitPeer(accepted));
    EXPECT_EQ(1u, Warnings(log,
                           "Closed a connection of another user (uid 65534): only this user and root are served (2 "
                           "more refused since the last report)."))
        << log.All();
}
