// HTTPConnection against the test kit's fault-injecting loopback server.
#include "remote/HTTPConnection.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <future>
#include <string>
#include <vector>

#include "common/ErrorCodes.h"
#include "common/testing/LogCapture.h"
#include "remote/testing/DownloadProgressDouble.h"
#include "tests/kit/LoopbackSocket.h"
#include "tests/kit/ScriptedHttpServer.h"
#include "tests/kit/TempDir.h"

namespace {

using Quor::Common::HTTPConnection;
using QuorTest::ScriptedHttpServer;
using QuorTest::ScriptedResponse;

std::string PerformFailed(int code) { return "perform request failed with code " + std::to_string(code); }

class HTTPConnectionTest : public ::testing::Test {
protected:
    // A connection to the scripted server, the port given in the address (no port option).
    std::unique_ptr<HTTPConnection> Connect(int lowSpeedSeconds = 60) {
        HRESULT result = E_FAIL;
        auto connection =
            std::make_unique<HTTPConnection>(result, server.baseUrl(), 80, lowSpeedSeconds, false, nullptr);
        EXPECT_EQ(S_OK, result);
        return connection;
    }
    std::string Local(const std::string& name) { return dir / name; }

    ScriptedHttpServer server;
    QuorTest::TempDir dir;
};

TEST(HTTPConnectionEscape, OnlyBlanksAreEscaped) {
    struct Case {
        const char* path;
        const char* escaped;
    } cases[] = {
        {"", ""},
        {"/a b", "/a%20b"},
        {"/two  blanks here", "/two%20%20blanks%20here"},
        {"/keep#this%41and+that", "/keep#this%41and+that"},
        {"/ä é", "/ä%20é"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.escaped, HTTPConnection::EscapePath(c.path)) << c.path;
}

TEST_F(HTTPConnectionTest, RequestPathReachesTheServerEscapedOnlyAtBlanks) {
    server.SetDefaultResponse({.status = 200, .body = "x"});
    auto connection = Connect();
    BOOL exists = FALSE;
    ASSERT_EQ(S_OK, connection->FileExists("/dir a/b c+%41", exists));
    EXPECT_TRUE(exists);
    auto requests = server.requests();
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ("HEAD", requests[0].method);
    EXPECT_EQ("/dir%20a/b%20c+%41", requests[0].target);
}

TEST_F(HTTPConnectionTest, PortArgumentOtherThan80IsUsed) {
    server.SetResponse("/f", {.status = 200, .body = "port"});
    HRESULT result = E_FAIL;
    HTTPConnection connection(result, "127.0.0.1", server.port(), 60, false, nullptr);
    ASSERT_EQ(S_OK, result);
    std::vector<char> memory;
    ASSERT_EQ(S_OK, connection.GetFile("/f", "", nullptr, false, false, false, &memory));
    EXPECT_EQ("port", std::string(memory.begin(), memory.end()));
}

TEST_F(HTTPConnectionTest, HeadAnswersGiveExistenceAndSize) {
    server.SetResponse("/missing", {.status = 404, .body = "not here"});
    server.SetResponse("/sized", {.status = 200, .body = std::string(1234, 'z')});
    server.SetResponse("/unsized", {.status = 200, .body = "abc", .contentLength = false});
    server.SetResponse("/moved", {.status = 302, .headers = {{"Location", "/sized"}}});
    auto connection = Connect();
    struct Case {
        const char* path;
        BOOL exists;
        DWORD size;
    } cases[] = {{"/missing", FALSE, 0}, {"/sized", TRUE, 1234}, {"/unsized", TRUE, 0}, {"/moved", FALSE, 0}};
    for (const Case& c : cases) {
        BOOL exists = 2;
        DWORD size = 77;
        EXPECT_EQ(S_OK, connection->GetFileSize(c.path, exists, size)) << c.path;
        EXPECT_EQ(c.exists, exists) << c.path;
        EXPECT_EQ(c.size, size) << c.path;
        exists = 2;
        EXPECT_EQ(S_OK, connection->FileExists(c.path, exists)) << c.path;
        EXPECT_EQ(c.exists, exists) << c.path;
    }
}

TEST_F(HTTPConnectionTest, SizeAbove4GiBIsNotCutTo32Bits) {
    server.SetResponse("/huge", {.status = 200, .headers = {{"Content-Length", "5368709121"}}});
    auto connection = Connect();
    BOOL exists = FALSE;
    QWORD wide = 0;
    ASSERT_EQ(S_OK, connection->GetFileSize("/huge", exists, wide));
    EXPECT_TRUE(exists);
    EXPECT_EQ(5368709121ull, wide);

    // A 32-bit size cannot hold it: refused, not reported as 1 GiB + 1.
    DWORD narrow = 99;
    EXPECT_TRUE(FAILED(connection->GetFileSize("/huge", exists, narrow)));
    EXPECT_EQ(0u, narrow);
}

TEST(HTTPConnectionCodes, FirstFailureIsConnectionFailedLaterOnesConnectionLost) {
    const uint16_t port = QuorTest::FreeLoopbackPort();  // nothing listens there
    ASSERT_NE(0, port);
    HRESULT result = E_FAIL;
    HTTPConnection connection(result, "127.0.0.1:" + std::to_string(port), 80, 60, false, nullptr);
    ASSERT_EQ(S_OK, result);  // Connect sends nothing
    BOOL exists = FALSE;
    EXPECT_EQ(E_QUOR_HTTP_CONNECTION_FAILED, connection.FileExists("/a", exists));
    EXPECT_EQ(E_QUOR_HTTP_CONNECTION_LOST, connection.FileExists("/a", exists));
    ASSERT_EQ(S_OK, connection.Reconnect());
    std::string response;
    EXPECT_EQ(E_QUOR_HTTP_CONNECTION_LOST, connection.Post("/a", "{}", response, nullptr));
}

TEST_F(HTTPConnectionTest, FailureAfterASuccessIsConnectionLost) {
    server.SetResponse("/ok", {.status = 200, .body = "fine"});
    auto connection = Connect();
    BOOL exists = FALSE;
    ASSERT_EQ(S_OK, connection->FileExists("/ok", exists));
    EXPECT_EQ(E_QUOR_HTTP_CONNECTION_LOST,
              connection->GetFile("/nothing", Local("f"), nullptr, false, false, false, nullptr));
}

TEST_F(HTTPConnectionTest, GetFileOf404MakesThreeAttemptsAndLeavesAnEmptyFile) {
    server.SetResponse("/gone", {.status = 404, .body = "<html>error page</html>"});
    auto connection = Connect();
    QuorTest::LogCapture log;
    QuorTest::WriteFile(Local("out"), "old content");
    EXPECT_EQ(E_QUOR_HTTP_CONNECTION_FAILED,
              connection->GetFile("/gone", Local("out"), nullptr, false, true, false, nullptr));
    EXPECT_EQ(3u, server.RequestCount("/gone"));
    ASSERT_TRUE(QuorTest::Exists(Local("out")));
    EXPECT_EQ("", QuorTest::ReadFile(Local("out")));
    EXPECT_EQ(3u, log.Count("File not found"));
    EXPECT_TRUE(log.Has("Retrying after failed attempt 1"));
    EXPECT_TRUE(log.Has("Retrying after failed attempt 2"));
    EXPECT_EQ(1u, log.Count("Failed on /gone")) << log.All();

    // The same after a success on this connection: the code says the connection was lost.
    server.SetResponse("/here", {.status = 200, .body = "here"});
    ASSERT_EQ(S_OK, connection->GetFile("/here", Local("here"), nullptr, false, true, false, nullptr));
    EXPECT_EQ("here", QuorTest::ReadFile(Local("here")));
    EXPECT_EQ(E_QUOR_HTTP_CONNECTION_LOST,
              connection->GetFile("/gone", Local("out"), nullptr, false, true, false, nullptr));
}

TEST_F(HTTPConnectionTest, GetFileWithoutRetryMakesOneAttempt) {
    server.SetResponse("/gone", {.status = 404});
    auto connection = Connect();
    QuorTest::LogCapture log;
    EXPECT_TRUE(FAILED(connection->GetFile("/gone", Local("out"), nullptr, false, false, false, nullptr)));
    EXPECT_EQ(1u, server.RequestCount("/gone"));
    EXPECT_FALSE(log.Contains("Retrying after failed attempt"));
}

TEST_F(HTTPConnectionTest, BodyCutMidwayIsAFailureNotAShortFile) {
    const std::string body(100000, 'b');
    server.SetResponse("/cut", {.status = 200, .body = body, .cutBodyAfter = 40000});
    auto connection = Connect();
    EXPECT_EQ(E_QUOR_HTTP_CONNECTION_FAILED,
              connection->GetFile("/cut", Local("cut"), nullptr, false, true, false, nullptr));
    EXPECT_EQ(3u, server.RequestCount("/cut"));
    std::vector<char> memory;
    EXPECT_TRUE(FAILED(connection->GetFile("/cut", "", nullptr, false, false, false, &memory)));
}

// A body is confirmed whole only by a Content-Length it matches or by the last chunk of a chunked
// answer; one that merely ends with its connection is not, whatever its length.
TEST_F(HTTPConnectionTest, OnlyAnnouncedOrChunkedBodiesAreConfirmedWhole) {
    const std::string body = "0123456789abcdefghij";
    const std::string chunked = "a\r\n0123456789\r\na\r\nabcdefghij\r\n0\r\n\r\n";
    const struct {
        const char* what;
        ScriptedResponse answer;
        bool confirmed;
    } cases[] = {
        {"with Content-Length", {.body = body}, true},
        {"empty, with Content-Length", {.body = ""}, true},
        {"without Content-Length", {.body = body, .contentLength = false}, false},
        {"without Content-Length, cut", {.body = body, .contentLength = false, .cutBodyAfter = 7}, false},
        {"chunked to its end", {.headers = {{"Transfer-Encoding", "chunked"}}, .body = chunked, .contentLength = false}, true},
    };
    auto connection = Connect();
    for (const auto& c : cases) {
        server.SetResponse("/file", c.answer);
        ASSERT_EQ(S_OK, connection->GetFile("/file", Local("file"), nullptr, false, false, false, nullptr)) << c.what;
        EXPECT_EQ(c.confirmed, connection->LastBodyLengthConfirmed()) << c.what;
        std::vector<char> memory;
        ASSERT_EQ(S_OK, connection->GetFile("/file", "", nullptr, false, false, false, &memory)) << c.what;
        EXPECT_EQ(c.confirmed, connection->LastBodyLengthConfirmed()) << c.what << ", into memory";
    }
    // A failed download is never confirmed, nor is a chunked body cut before its last chunk.
    server.SetResponse("/cut", {.headers = {{"Transfer-Encoding", "chunked"}}, .body = chunked, .contentLength = false,
                                .cutBodyAfter = 20});
    EXPECT_TRUE(FAILED(connection->GetFile("/cut", Local("cut"), nullptr, false, false, false, nullptr)));
    EXPECT_FALSE(connection->LastBodyLengthConfirmed());
}

TEST_F(HTTPConnectionTest, RetryAfterACutBodyStartsFromEmptyInMemoryAndOnDisk) {
    const std::string body = "0123456789abcdefghij";
    auto script = [&] {
        server.SetResponses("/flaky", {{.status = 200, .body = body, .cutBodyAfter = 12},
                                       {.status = 200, .body = body, .cutBodyAfter = 5},
                                       {.status = 200, .body = body}});
    };
    auto connection = Connect();

    script();
    std::vector<char> memory = {'o', 'l', 'd'};
    ASSERT_EQ(S_OK, connection->GetFile("/flaky", "", nullptr, false, true, false, &memory));
    EXPECT_EQ(body, std::string(memory.begin(), memory.end()));

    server.SetResponses("/flaky2", {{.status = 200, .body = body, .cutBodyAfter = 12}, {.status = 200, .body = body}});
    ASSERT_EQ(S_OK, connection->GetFile("/flaky2", Local("flaky"), nullptr, false, true, false, nullptr));
    EXPECT_EQ(body, QuorTest::ReadFile(Local("flaky")));
}

TEST_F(HTTPConnectionTest, MemoryDownloadOf404EndsEmpty) {
    server.SetResponse("/gone", {.status = 404, .body = "error page"});
    auto connection = Connect();
    std::vector<char> memory = {'x'};
    EXPECT_TRUE(FAILED(connection->GetFile("/gone", "", nullptr, false, true, false, &memory)));
    EXPECT_TRUE(memory.empty());
}

TEST_F(HTTPConnectionTest, ProgressListenerIsToldEveryByte) {
    const std::string body(3 * 1024 * 1024 + 17, 'p');
    server.SetResponse("/big", {.status = 200, .body = body});
    auto connection = Connect();
    QuorTest::DownloadProgressDouble progress;
    ASSERT_EQ(S_OK, connection->GetFile("/big", Local("big"), &progress, false, false, false, nullptr));
    EXPECT_EQ(body.size(), progress.bytes.load());
    EXPECT_EQ(body.size(), QuorTest::ReadFile(Local("big")).size());
}

// A progress bar over the listener's bytes must never pass the file's size: retried attempts
// report only what goes beyond the best earlier attempt, and an error page is no file byte.
TEST_F(HTTPConnectionTest, ProgressListenerIsToldEachFileByteOnceOverAllAttempts) {
    const std::string body = "0123456789abcdefghij";
    struct Case {
        const char* name;
        std::vector<ScriptedResponse> answers;
        bool retry;
        unsigned long long told;
    } cases[] = {
        {"404 page, three attempts", {{.status = 404, .body = std::string(300, 'e')}}, true, 0},
        {"500 page", {{.status = 500, .body = "server error"}}, false, 0},
        {"cut, then whole", {{.body = body, .cutBodyAfter = 12}, {.body = body}}, true, body.size()},
        {"cut, shorter cut, whole",
         {{.body = body, .cutBodyAfter = 12}, {.body = body, .cutBodyAfter = 5}, {.body = body}},
         true,
         body.size()},
        {"three cuts", {{.body = body, .cutBodyAfter = 7}}, true, 7},
        {"error page, then the file", {{.status = 503, .body = std::string(50, 'e')}, {.body = body}}, true,
         body.size()},
    };
    auto connection = Connect();
    for (const Case& c : cases) {
        const std::string path = "/" + std::to_string(&c - cases);
        for (const bool toMemory : {false, true}) {
            server.SetResponses(path, c.answers);  // scripted afresh for each download
            QuorTest::DownloadProgressDouble progress;
            std::vector<char> memory;
            connection->GetFile(path, Local("file"), &progress, false, c.retry, false, toMemory ? &memory : nullptr);
            EXPECT_EQ(c.told, progress.bytes.load()) << c.name << (toMemory ? ", in memory" : ", to a file");
        }
    }
}

TEST_F(HTTPConnectionTest, CancelStopsEveryAttemptAtOnceAndTheCallersFlagTellsWhy) {
    server.SetResponse("/file", {.status = 200, .body = std::string(100000, 'c')});
    auto connection = Connect();
    QuorTest::LogCapture log;
    QuorTest::DownloadProgressDouble progress;
    progress.cancelled = true;
    const HRESULT result = connection->GetFile("/file", Local("file"), &progress, false, true, false, nullptr);
    // The transfer reports a connection code like any failure; the cancel is known from the flag.
    EXPECT_EQ(E_QUOR_HTTP_CONNECTION_FAILED, result);
    EXPECT_TRUE(progress.cancelled.load());
    EXPECT_EQ(3u, log.Count(PerformFailed(Quor::Common::CurlEasy::AbortedByCallbackCode()))) << log.All();
    EXPECT_EQ(3u, log.Count("Cancellation request detected, aborting"));
    EXPECT_EQ(0u, progress.bytes.load());
    EXPECT_EQ("", QuorTest::ReadFile(Local("file")));
}

TEST_F(HTTPConnectionTest, ListenerStopFlagAbortsLikeACancel) {
    server.SetResponse("/file", {.status = 200, .body = "data"});
    auto connection = Connect();
    QuorTest::LogCapture log;
    std::atomic<bool> stop{true};
    QuorTest::DownloadProgressDouble progress(&stop);
    EXPECT_TRUE(FAILED(connection->GetFile("/file", Local("file"), &progress, false, false, false, nullptr)));
    EXPECT_TRUE(log.Has(PerformFailed(Quor::Common::CurlEasy::AbortedByCallbackCode())));
    EXPECT_FALSE(log.Has("Cancellation request detected, aborting"));
}

TEST_F(HTTPConnectionTest, StopFlagEndsAStalledTransferThroughItsOwnAbort) {
    server.SetResponse("/stall", {.status = 200, .body = "late", .stallBeforeHeaders = QuorTest::kStallUntilStop});
    auto connection = Connect();
    std::atomic<bool> stop{false};
    connection->SetStopFlag(&stop);
    QuorTest::LogCapture log;
    auto download = std::async(std::launch::async, [&] {
        return connection->GetFile("/stall", Local("stall"), nullptr, false, false, false, nullptr);
    });
    ASSERT_TRUE(server.WaitForRequests(1));
    stop = true;
    EXPECT_TRUE(FAILED(download.get()));
    EXPECT_TRUE(log.Has(PerformFailed(Quor::Common::CurlEasy::AbortedByCallbackCode()))) << log.All();
}

TEST_F(HTTPConnectionTest, StalledTransferEndsByTheLowSpeedRule) {
    server.SetResponse("/slow", {.status = 200,
                                 .body = std::string(1000, 's'),
                                 .stallAfterBodyBytes = 10,
                                 .stallInBody = QuorTest::kStallUntilStop});
    auto connection = Connect(1);
    QuorTest::LogCapture log;
    EXPECT_TRUE(FAILED(connection->GetFile("/slow", Local("slow"), nullptr, false, false, false, nullptr)));
    EXPECT_TRUE(log.Contains("perform request failed with code")) << log.All();
}

// A 41-byte file answered with 64 MiB: with or without a Content-Length, on disk or in memory, the
// download fails at its bound after one attempt and never holds more than the bound; the server
// sees the client go long before the end of the body.
TEST_F(HTTPConnectionTest, BodyLongerThanTheListenersMaximumIsCutThereWithoutRetry) {
    constexpr uint64_t kServed = 64u << 20;
    const std::string file(41, 'f');
    struct Case {
        const char* name;
        bool contentLength;
        bool inMemory;
    } cases[] = {
        {"/announced", true, false},
        {"/unannounced", false, false},
        {"/unannounced-memory", false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.SetResponse(c.name, {.status = 200, .body = file, .contentLength = c.contentLength, .padBodyTo = kServed});
        auto connection = Connect();
        QuorTest::LogCapture log;
        Quor::Common::TransferBound bound(static_cast<int64_t>(file.size()));
        std::vector<char> memory;
        EXPECT_TRUE(FAILED(connection->GetFile(c.name, Local("cut"), &bound, false, true, false,
                                               c.inMemory ? &memory : nullptr)));
        EXPECT_EQ(1u, server.RequestCount(c.name)) << "a cut download is not retried";
        if (c.inMemory)
            EXPECT_LE(memory.size(), file.size());
        else
            EXPECT_LE(std::filesystem::file_size(Local("cut")), file.size());
        EXPECT_TRUE(log.Contains("is longer than the 41 bytes expected, aborted")) << log.All();
    }
    EXPECT_LT(server.largestBodySent(), kServed);
}

TEST_F(HTTPConnectionTest, BodyOfExactlyTheMaximumArrivesWhole) {
    for (const bool contentLength : {true, false}) {
        server.SetResponse("/exact", {.status = 200, .body = "exactly", .contentLength = contentLength});
        auto connection = Connect();
        Quor::Common::TransferBound bound(7);
        EXPECT_EQ(S_OK, connection->GetFile("/exact", Local("exact"), &bound, false, true, false, nullptr));
        EXPECT_EQ("exactly", QuorTest::ReadFile(Local("exact")));
        Quor::Common::TransferBound empty(0);
        server.SetResponse("/empty", {.status = 200, .body = "", .contentLength = contentLength});
        EXPECT_EQ(S_OK, connection->GetFile("/empty", Local("empty"), &empty, false, true, false, nullptr));
        EXPECT_EQ(0u, std::filesystem::file_size(Local("empty")));
    }
}

// A server that keeps sending, but slower than the stall rate, is cut by the low-speed rule; one
// that keeps above it is cut by the deadline the bound gives. Limits are test-sized.
TEST_F(HTTPConnectionTest, TrickleEndsByTheStallRateOrTheDeadline) {
    struct Case {
        const char* name;
        HTTPConnection::Limits limits;
        std::chrono::milliseconds every;
        bool bounded;
    } cases[] = {
        // 50 bytes/s, below a 1 KiB/s stall rate (the old 1 byte/s let it run for 4 s).
        {"/below-stall-rate", {1024, 60, 1024}, std::chrono::milliseconds(20), false},
        // 50 bytes/s, above a 10 bytes/s stall rate; the 200-byte bound gives 1 s + 200/1000 s.
        {"/past-deadline", {10, 1, 1000}, std::chrono::milliseconds(20), true},
    };
    unsigned closes = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.SetResponse(c.name, {.status = 200, .body = std::string(200, 't'), .trickleEvery = c.every});
        auto connection = Connect(1);
        ASSERT_EQ(S_OK, connection->SetLimits(c.limits));
        QuorTest::LogCapture log;
        Quor::Common::TransferBound bound(200);
        EXPECT_TRUE(FAILED(connection->GetFile(c.name, Local("trickle"), c.bounded ? &bound : nullptr, false, false,
                                               false, nullptr)));
        EXPECT_TRUE(log.Has(PerformFailed(Quor::Common::CurlEasy::TimedOutCode()))) << log.All();
        EXPECT_TRUE(server.WaitForPeerCloses(++closes)) << "the client did not close the trickling connection";
    }
}

// The job's cancel flag reaches every kind of request on the connection, also one that receives
// nothing, and the trickling server sees the connection closed.
TEST_F(HTTPConnectionTest, CancelFlagEndsATricklingTransferAndEveryLaterOne) {
    server.SetResponse("/trickle", {.status = 200, .body = std::string(20, 't'),
                                    .trickleEvery = std::chrono::milliseconds(900)});
    auto connection = Connect();
    signed char cancel = 0;
    connection->SetCancelFlag(&cancel);
    QuorTest::LogCapture log;
    auto download = std::async(std::launch::async, [&] {
        return connection->GetFile("/trickle", Local("trickle"), nullptr, false, true, false, nullptr);
    });
    ASSERT_TRUE(server.WaitForRequests(1));
    __atomic_store_n(&cancel, 1, __ATOMIC_RELEASE);
    EXPECT_TRUE(FAILED(download.get()));
    EXPECT_TRUE(log.Has(PerformFailed(Quor::Common::CurlEasy::AbortedByCallbackCode()))) << log.All();
    EXPECT_TRUE(server.WaitForPeerCloses(1));
    BOOL exists = TRUE;
    EXPECT_TRUE(FAILED(connection->FileExists("/trickle", exists)));
    std::string answer;
    EXPECT_TRUE(FAILED(connection->Post("/trickle", "{}", answer, nullptr)));
}

TEST_F(HTTPConnectionTest, FailedFinalFlushIsAFailedDownload) {
    server.SetResponse("/small", {.status = 200, .body = "fits in the stream buffer"});
    auto connection = Connect();
    // Writes to /dev/full fail only when the stream's buffer is flushed, at close.
    EXPECT_TRUE(FAILED(connection->GetFile("/small", "/dev/full", nullptr, false, false, false, nullptr)));
}

TEST_F(HTTPConnectionTest, PostSendsJsonAndAppendsTheAnswer) {
    server.SetResponse("/messages", {.status = 200, .body = "thanks"});
    server.SetResponse("/broken", {.status = 500, .body = "server error"});
    auto connection = Connect();
    std::string response = "before:";
    long status = -1;
    ASSERT_EQ(S_OK, connection->Post("/messages", "{\"k\":\"v\"}", response, &status));
    EXPECT_EQ(200, status);
    EXPECT_EQ("before:thanks", response);
    auto requests = server.requests();
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ("POST", requests[0].method);
    EXPECT_EQ("{\"k\":\"v\"}", requests[0].body);
    EXPECT_EQ("text/json", requests[0].header("Content-Type"));

    EXPECT_EQ(E_QUOR_HTTP_CONNECTION_LOST, connection->Post("/broken", "{}", response, &status));
    EXPECT_EQ(500, status);
    EXPECT_EQ("before:thanksserver error", response);
}

TEST_F(HTTPConnectionTest, OneHandleMovesBetweenMethodsOnOneConnection) {
    server.SetResponse("/a", {.status = 200, .body = "aaa"});
    server.SetResponse("/m", {.status = 200, .body = "ok"});
    auto connection = Connect();
    BOOL exists = FALSE;
    std::string response;
    std::vector<char> memory;
    ASSERT_EQ(S_OK, connection->FileExists("/a", exists));
    ASSERT_EQ(S_OK, connection->Post("/m", "{}", response, nullptr));
    ASSERT_EQ(S_OK, connection->GetFile("/a", "", nullptr, false, false, false, &memory));
    ASSERT_EQ(S_OK, connection->GetFile("/a", Local("a"), nullptr, false, false, false, nullptr));
    DWORD size = 0;
    ASSERT_EQ(S_OK, connection->GetFileSize("/a", exists, size));
    EXPECT_EQ(3u, size);
    EXPECT_EQ("aaa", std::string(memory.begin(), memory.end()));
    EXPECT_EQ("aaa", QuorTest::ReadFile(Local("a")));

    auto requests = server.requests();
    ASSERT_EQ(5u, requests.size());
    const char* methods[] = {"HEAD", "POST", "GET", "GET", "HEAD"};
    for (size_t i = 0; i < requests.size(); ++i) {
        EXPECT_EQ(methods[i], requests[i].method) << i;
        EXPECT_EQ(1u, requests[i].connection) << "request " << i << " opened a new connection";
    }
    EXPECT_TRUE(requests[2].body.empty());
}

}  // namespace
