#include "tests/kit/ScriptedHttpServer.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <string>

#include "tests/kit/LoopbackSocket.h"
#include "tests/kit/RawHttpClient.h"

namespace QuorTest {
namespace {

// Reads from a raw socket until `want` bytes arrived or the peer closed; returns what arrived.
std::string ReceiveAtLeast(int fd, size_t want) {
    std::string got;
    char chunk[4096];
    while (got.size() < want) {
        ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0) break;
        got.append(chunk, static_cast<size_t>(n));
    }
    return got;
}

std::string ReceiveUntilClosed(int fd) { return ReceiveAtLeast(fd, SIZE_MAX); }

TEST(ScriptedHttpServer, AnswersScriptedPathsAndLogsEveryRequest) {
    ScriptedHttpServer server;
    ASSERT_TRUE(server.started());
    server.SetResponse("/a", {.status = 200, .headers = {{"X-Answer", "yes"}}, .body = "hello"});
    server.SetResponse("/exact?q=1", {.status = 500});

    RawHttpConnection client(server.port());
    RawHttpResponse a = client.Request("GET", "/a?x=1", "X-Client: abc\r\n");
    EXPECT_EQ(a.status, 200);
    EXPECT_EQ(a.body, "hello");
    EXPECT_EQ(a.header("X-Answer"), "yes");
    EXPECT_EQ(a.header("Content-Length"), "5");
    EXPECT_EQ(client.Request("GET", "/exact?q=1").status, 500);  // the whole target is matched first
    EXPECT_EQ(client.Request("GET", "/exact?q=2").status, 404);
    EXPECT_EQ(client.Request("GET", "/unscripted").status, 404);
    server.SetDefaultResponse({.status = 503});
    EXPECT_EQ(client.Request("GET", "/unscripted").status, 503);

    std::vector<RecordedRequest> log = server.requests();
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(log[0].method, "GET");
    EXPECT_EQ(log[0].target, "/a?x=1");
    EXPECT_EQ(log[0].path, "/a");
    EXPECT_EQ(log[0].version, "HTTP/1.1");
    EXPECT_EQ(log[0].header("x-client"), "abc");
    EXPECT_EQ(log[0].header("Host"), server.baseUrl());
    for (size_t i = 0; i < log.size(); ++i) {
        EXPECT_EQ(log[i].connection, 1u) << "request " << i << " came on one kept-alive connection";
        EXPECT_EQ(log[i].requestOnConnection, i + 1);
    }
    EXPECT_EQ(server.RequestCount("/exact"), 2u);
    EXPECT_EQ(server.connectionCount(), 1u);
}

TEST(ScriptedHttpServer, SequenceIsAnsweredInOrderAndItsLastResponseRepeats) {
    ScriptedHttpServer server;
    ASSERT_TRUE(server.started());
    server.SetResponses("/f", {{.status = 404}, {.status = 404}, {.status = 200, .body = "now"}});
    std::vector<int> statuses;
    for (int i = 0; i < 4; ++i) statuses.push_back(RawHttpRequest(server.port(), "GET", "/f").status);
    EXPECT_EQ(statuses, (std::vector<int>{404, 404, 200, 200}));
    EXPECT_EQ(server.connectionCount(), 4u);
}

TEST(ScriptedHttpServer, PostBodiesAreLoggedWithLengthChunkedOrAfterContinue) {
    ScriptedHttpServer server;
    ASSERT_TRUE(server.started());
    server.SetDefaultResponse({.status = 200});
    RawHttpConnection client(server.port());
    EXPECT_EQ(client.Request("POST", "/p", "Content-Type: application/json\r\n", "{\"k\":\"v\"}").status, 200);
    ASSERT_TRUE(client.Send("POST /p HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n"
                            "4\r\nabcd\r\n3;ext=1\r\nefg\r\n0\r\nTrailer: t\r\n\r\n"));
    EXPECT_EQ(client.ReadResponse().status, 200);
    // A client that waits for "100 Continue" before sending the body.
    ASSERT_TRUE(client.Send("POST /p HTTP/1.1\r\nHost: x\r\nExpect: 100-continue\r\nContent-Length: 3\r\n\r\n"));
    ASSERT_TRUE(client.Send("xyz"));
    EXPECT_EQ(client.ReadResponse().status, 200);

    std::vector<RecordedRequest> log = server.requests();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].method, "POST");
    EXPECT_EQ(log[0].body, "{\"k\":\"v\"}");
    EXPECT_EQ(log[0].header("Content-Type"), "application/json");
    EXPECT_EQ(log[1].body, "abcdefg");
    EXPECT_EQ(log[2].body, "xyz");
}

TEST(ScriptedHttpServer, PipelinedRequestsAreAnsweredInOrder) {
    ScriptedHttpServer server;
    ASSERT_TRUE(server.started());
    server.SetResponse("/1", {.body = "one"});
    server.SetResponse("/2", {.body = "two"});
    RawHttpConnection client(server.port());
    ASSERT_TRUE(client.Send("GET /1 HTTP/1.1\r\nHost: x\r\n\r\nGET /2 HTTP/1.1\r\nHost: x\r\n\r\n"));
    EXPECT_EQ(client.ReadResponse().body, "one");
    EXPECT_EQ(client.ReadResponse().body, "two");
}

TEST(ScriptedHttpServer, MalformedRequestGets400AndTheConnectionIsClosed) {
    ScriptedHttpServer server;
    ASSERT_TRUE(server.started());
    RawHttpConnection client(server.port());
    ASSERT_TRUE(client.Send("NONSENSE\r\n\r\n"));
    RawHttpResponse response = client.ReadResponse();
    EXPECT_EQ(response.status, 400);
    EXPECT_TRUE(response.closed);
    EXPECT_TRUE(server.requests().empty());
}

// Faults on the wire, each seen by a client that reads exactly what arrives.
TEST(ScriptedHttpServer, BodyCutShortKeepsTheFullContentLengthAndCloses) {
    ScriptedHttpServer server;
    ASSERT_TRUE(server.started());
    server.SetResponse("/cut", {.body = std::string(100, 'x'), .cutBodyAfter = 40});
    RawHttpResponse response = RawHttpRequest(server.port(), "GET", "/cut");
    EXPECT_EQ(response.status, 200);
    EXPECT_EQ(response.header("Content-Length"), "100");
    EXPECT_EQ(response.body, std::string(40, 'x'));
    EXPECT_FALSE(response.complete);
    EXPECT_TRUE(response.closed);
}

TEST(ScriptedHttpServer, MissingContentLengthEndsTheBodyWithTheConnection) {
    ScriptedHttpServer server;
    ASSERT_TRUE(server.started());
    server.SetResponse("/nolength", {.body = "until close", .contentLength = false});
    RawHttpResponse response = RawHttpRequest(server.port(), "GET", "/nolength");
    EXPECT_EQ(response.status, 200);
    EXPECT_FALSE(HasHeader(response.headers, "Content-Length"));
    EXPECT_EQ(response.body, "until close");
    EXPECT_TRUE(response.closed);
}

TEST(ScriptedHttpServer, AChunkedBodyTricklesInChunksOfTheGivenSizeAndEndsWithTheLastChunk) {
    ScriptedHttpServer server;
    ASSERT_TRUE(server.started());
    server.SetResponse("/chunked", {.body = "hello world", .keepAlive = false,
                                    .trickleEvery = std::chrono::milliseconds(1), .trickleBytes = 4, .chunked = true});
    server.SetResponse("/cut", {.body = "hello world", .cutBodyAfter = 5, .chunked = true});
    RawHttpResponse response = RawHttpRequest(server.port(), "GET", "/chunked");
    EXPECT_EQ(response.header("Transfer-Encoding"), "chunked");
    EXPECT_FALSE(HasHeader(response.headers, "Content-Length"));
    EXPECT_EQ(response.body, "4\r\nhell\r\n4\r\no wo\r\n3\r\nrld\r\n0\r\n\r\n");
    // A cut chunked body has no last chunk.
    EXPECT_EQ(RawHttpRequest(server.port(), "GET", "/cut").body, "5\r\nhello\r\n");
}

TEST(ScriptedHttpServer, OwnContentLengthStandsEvenWhenItLies) {
    ScriptedHttpServer server;
    ASSERT_TRUE(server.started());
    server.SetResponse("/lie", {.headers = {{"Content-Length", "10"}}, .body = "abc", .keepAlive = false});
    RawHttpResponse response = RawHttpRequest(server.port(), "GET", "/lie");
    EXPECT_EQ(response.header("Content-Length"), "10");
    EXPECT_EQ(response.body, "abc");
    EXPECT_FALSE(response.complete);
}

TEST(ScriptedHttpServer, CorruptedBytesAreInvertedAtTheirOffsetsOnly) {
    ScriptedHttpServer server;
    ASSERT_TRUE(server.started());
    server.SetResponse("/bad", {.body = "abcdef", .corruptBodyBytes = {0, 5, 99}});
    RawHttpResponse response = RawHttpRequest(server.port(), "GET", "/bad");
    std::string expected = "abcdef";
    expected[0] = static_cast<char>(~'a');
    expected[5] = static_cast<char>(~'f');
    EXPECT_EQ(response.body, expected);
    EXPECT_TRUE(response.complete);
}

TEST(ScriptedHttpServer, HeadGetsTheLengthWithoutBodyUnlessTold) {
    ScriptedHttpServer server;
    ASSERT_TRUE(server.started());
    server.SetResponse("/h", {.body = "twelve bytes"});
    server.SetResponse("/rude", {.body = "body anyway", .honourHead = false});
    RawHttpConnection client(server.port());
    RawHttpResponse head = client.Request("HEAD", "/h");
    EXPECT_EQ(head.status, 200);
    EXPECT_EQ(head.header("Content-Length"), "12");
    EXPECT_EQ(head.body, "");
    // The connection stays in step: the next response is read whole.
    EXPECT_EQ(client.Request("GET", "/h").body, "twelve bytes");

    ASSERT_TRUE(client.Send("HEAD /rude HTTP/1.1\r\nHost: x\r\n\r\n"));
    EXPECT_EQ(client.ReadResponse(/*head=*/false).body, "body anyway");
}

TEST(ScriptedHttpServer, ConnectionCloseFromEitherSide) {
    ScriptedHttpServer server;
    ASSERT_TRUE(server.started());
    server.SetResponse("/once", {.body = "x", .keepAlive = false});
    server.SetResponse("/kept", {.body = "y"});
    RawHttpResponse once = RawHttpRequest(server.port(), "GET", "/once");
    EXPECT_EQ(once.header("Connection"), "close");
    EXPECT_TRUE(once.closed);
    RawHttpResponse asked = RawHttpRequest(server.port(), "GET", "/kept", "Connection: close\r\n");
    EXPECT_EQ(asked.body, "y");
    EXPECT_TRUE(asked.closed);
    RawHttpConnection client(server.port());
    RawHttpResponse kept = client.Request("GET", "/kept");
    EXPECT_FALSE(kept.closed);
    EXPECT_EQ(client.Request("GET", "/kept").body, "y");
}

TEST(ScriptedHttpServer, FiniteStallInTheBodyThenTheRestArrives) {
    ScriptedHttpServer server;
    ASSERT_TRUE(server.started());
    server.SetResponse("/slow", {.body = "0123456789", .stallBeforeHeaders = std::chrono::milliseconds(20),
                                 .stallAfterBodyBytes = 4, .stallInBody = std::chrono::milliseconds(50)});
    RawHttpResponse response = RawHttpRequest(server.port(), "GET", "/slow");
    EXPECT_EQ(response.body, "0123456789");
    EXPECT_TRUE(response.complete);
}

// A stall that lasts until the server stops: Stop() must interrupt it (the test would hang otherwise)
// and the client sees the connection end with what was sent before the stall.
TEST(ScriptedHttpServer, StopInterruptsAStallBeforeTheHeaders) {
    ScriptedHttpServer server;
    ASSERT_TRUE(server.started());
    server.SetResponse("/stall", {.body = "never", .stallBeforeHeaders = kStallUntilStop});
    RawHttpConnection client(server.port());
    ASSERT_TRUE(client.Send("GET /stall HTTP/1.1\r\nHost: x\r\n\r\n"));
    ASSERT_TRUE(server.WaitForRequests(1));
    server.Stop();
    RawHttpResponse response = client.ReadResponse();
    EXPECT_EQ(response.status, 0);
    EXPECT_TRUE(response.closed) << response.error;
    EXPECT_EQ(server.requests().size(), 1u);
}

TEST(ScriptedHttpServer, StopInterruptsAStallInTheBody) {
    ScriptedHttpServer server;
    ASSERT_TRUE(server.started());
    server.SetResponse("/stall", {.body = "0123456789", .stallAfterBodyBytes = 4, .stallInBody = kStallUntilStop});
    UniqueFd fd = ConnectLoopback(server.port());
    ASSERT_TRUE(fd.valid());
    std::string request = "GET /stall HTTP/1.1\r\nHost: x\r\n\r\n";
    ASSERT_EQ(::send(fd.get(), request.data(), request.size(), MSG_NOSIGNAL), static_cast<ssize_t>(request.size()));
    std::string got = ReceiveAtLeast(fd.get(), 1);
    while (got.find("\r\n\r\n0123") == std::string::npos) {
        std::string more = ReceiveAtLeast(fd.get(), 1);
        ASSERT_FALSE(more.empty()) << "the connection ended before the stall: " << got;
        got += more;
    }
    server.Stop();
    got += ReceiveUntilClosed(fd.get());
    EXPECT_EQ(got.substr(got.find("\r\n\r\n") + 4), "0123");
}

TEST(ScriptedHttpServer, StopEndsIdleAndBlockedConnections) {
    ScriptedHttpServer server;
    ASSERT_TRUE(server.started());
    // A body far larger than the socket buffers, to a client that never reads it: the server
    // blocks in sending.
    server.SetResponse("/big", {.body = std::string(64 * 1024 * 1024, 'b')});
    server.SetResponse("/small", {.body = "s"});
    UniqueFd silent = ConnectLoopback(server.port());  // connected, never sends a thing
    RawHttpConnection idle(server.port());             // kept alive after one request
    EXPECT_EQ(idle.Request("GET", "/small").body, "s");
    UniqueFd blocked = ConnectLoopback(server.port());
    std::string request = "GET /big HTTP/1.1\r\nHost: x\r\n\r\n";
    ASSERT_EQ(::send(blocked.get(), request.data(), request.size(), MSG_NOSIGNAL), static_cast<ssize_t>(request.size()));
    ASSERT_TRUE(server.WaitForRequests(2));
    server.Stop();
    EXPECT_EQ(ReceiveUntilClosed(silent.get()), "");
    EXPECT_TRUE(idle.ReadResponse().closed);
    server.Stop();  // idempotent
}

}  // namespace
}  // namespace QuorTest
