#include "tests/kit/NginxServer.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

#include "tests/kit/LoopbackSocket.h"
#include "tests/kit/RawHttpClient.h"

namespace QuorTest {
namespace {

std::string Pattern(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + i / 256) & 0xFF);
    return bytes;
}

class NginxServerTest : public ::testing::Test {
protected:
    NginxServerTest() {
        WriteFile(m_content / "a.txt", "hello from nginx\n");
        WriteFile(m_content / "sub/dir/b.bin", m_binary);
    }

    TempDir m_content{"quorcontent"};
    std::string m_binary = Pattern(100 * 1024);
};

TEST_F(NginxServerTest, ServesFilesHeadAndRangesAndLogsThemOnOneConnection) {
    NginxServer nginx(m_content.path());
    ASSERT_TRUE(nginx.started());
    EXPECT_EQ(nginx.baseUrl(), "127.0.0.1:" + std::to_string(nginx.port()));

    RawHttpConnection client(nginx.port());
    RawHttpResponse file = client.Request("GET", "/a.txt");
    EXPECT_EQ(file.status, 200);
    EXPECT_EQ(file.body, "hello from nginx\n");

    RawHttpResponse head = client.Request("HEAD", "/sub/dir/b.bin");
    EXPECT_EQ(head.status, 200);
    EXPECT_EQ(head.header("Content-Length"), std::to_string(m_binary.size()));
    EXPECT_EQ(head.body, "");

    RawHttpResponse range = client.Request("GET", "/sub/dir/b.bin", "Range: bytes=1000-1099\r\n");
    EXPECT_EQ(range.status, 206);
    EXPECT_EQ(range.header("Content-Range"), "bytes 1000-1099/" + std::to_string(m_binary.size()));
    EXPECT_EQ(range.body, m_binary.substr(1000, 100));

    RawHttpResponse whole = client.Request("GET", "/sub/dir/b.bin");
    EXPECT_EQ(whole.body, m_binary);
    EXPECT_EQ(client.Request("GET", "/missing").status, 404);

    ASSERT_TRUE(nginx.WaitForAccessLog(5)) << nginx.errorLog();
    std::vector<NginxAccessEntry> log = nginx.accessLog();
    ASSERT_EQ(log.size(), 5u);
    const std::vector<std::pair<std::string, int>> expected = {
        {"GET", 200}, {"HEAD", 200}, {"GET", 206}, {"GET", 200}, {"GET", 404}};
    for (size_t i = 0; i < log.size(); ++i) {
        SCOPED_TRACE(log[i].line);
        EXPECT_EQ(log[i].method, expected[i].first);
        EXPECT_EQ(log[i].status, expected[i].second);
        EXPECT_EQ(log[i].connection, log[0].connection) << "the connection was not kept alive";
        EXPECT_EQ(log[i].connectionRequests, i + 1);
    }
    EXPECT_EQ(log[1].uri, "/sub/dir/b.bin");
    EXPECT_EQ(log[2].range, "bytes=1000-1099");
    EXPECT_EQ(log[2].bodyBytes, 100u);
    EXPECT_EQ(log[3].range, "-");
    EXPECT_EQ(log[3].bodyBytes, m_binary.size());
}

TEST_F(NginxServerTest, ServesAPrivateTreeAndKeepsOneConnectionPastAThousandRequests) {
    // Files only their owner may read, in a folder only its owner may enter (mkdtemp's 0700).
    ASSERT_EQ(::chmod((m_content / "a.txt").c_str(), 0600), 0);
    ASSERT_EQ(::chmod((m_content / "sub").c_str(), 0700), 0);
    NginxServer nginx(m_content.path());
    ASSERT_TRUE(nginx.started());
    RawHttpConnection client(nginx.port());
    // nginx closes a kept-alive connection after 1000 requests unless told otherwise; the content
    // tests fetch thousands of small files over one connection.
    const size_t requests = 1200;
    for (size_t i = 0; i < requests; ++i) {
        RawHttpResponse response = client.Request("GET", "/a.txt");
        ASSERT_EQ(response.status, 200) << "request " << i << ": " << response.error << "\n" << nginx.errorLog();
        ASSERT_FALSE(response.closed) << "request " << i;
    }
    ASSERT_TRUE(nginx.WaitForAccessLog(requests));
    std::vector<NginxAccessEntry> log = nginx.accessLog();
    EXPECT_EQ(log.back().connection, log.front().connection);
    EXPECT_EQ(log.back().connectionRequests, requests);
}

TEST_F(NginxServerTest, StopEndsAndReapsNginxAndDestructionRemovesItsPrefix) {
    std::string prefix;
    pid_t pid = 0;
    uint16_t port = 0;
    {
        NginxServer nginx(m_content.path());
        ASSERT_TRUE(nginx.started());
        prefix = nginx.prefix();
        port = nginx.port();
        pid = static_cast<pid_t>(std::atoi(ReadFile(prefix + "/nginx.pid").c_str()));
        ASSERT_GT(pid, 0);
        EXPECT_EQ(::kill(pid, 0), 0);
        nginx.Stop();
        // Reaped, not a zombie: the process id is gone.
        EXPECT_EQ(::kill(pid, 0), -1);
        EXPECT_EQ(errno, ESRCH);
        EXPECT_FALSE(ConnectLoopback(port).valid());
        EXPECT_TRUE(Exists(prefix + "/logs/error.log"));
    }
    EXPECT_FALSE(Exists(prefix));
}

TEST_F(NginxServerTest, RetriesOnAnotherPortWhenThePortWasTaken) {
    UniqueFd squatter = ListenLoopback(0);
    ASSERT_TRUE(squatter.valid());
    const uint16_t taken = LocalPort(squatter.get());
    int picks = 0;
    NginxServer nginx(m_content.path(), [&] { return ++picks == 1 ? taken : FreeLoopbackPort(); });
    ASSERT_TRUE(nginx.started());
    EXPECT_EQ(picks, 2);
    EXPECT_NE(nginx.port(), taken);
    EXPECT_EQ(RawHttpRequest(nginx.port(), "GET", "/a.txt").status, 200);
}

TEST_F(NginxServerTest, TwoServersRunSideBySide) {
    TempDir other("quorcontent");
    WriteFile(other / "a.txt", "the other one");
    NginxServer first(m_content.path());
    NginxServer second(other.path());
    ASSERT_TRUE(first.started());
    ASSERT_TRUE(second.started());
    EXPECT_NE(first.port(), second.port());
    EXPECT_EQ(RawHttpRequest(first.port(), "GET", "/a.txt").body, "hello from nginx\n");
    EXPECT_EQ(RawHttpRequest(second.port(), "GET", "/a.txt").body, "the other one");
}

}  // namespace
}  // namespace QuorTest
