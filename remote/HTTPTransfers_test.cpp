// HTTPTransfers against the scripted loopback server: each download, several in flight at once,
// ends as HTTPConnection::GetFile of the same answers would (result, file, attempts, bytes told),
// and a raised stop flag ends every one of them.
#include "remote/HTTPTransfers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <thread>

#include "remote/testing/DownloadProgressDouble.h"
#include "tests/kit/ScriptedHttpServer.h"
#include "tests/kit/TempDir.h"

namespace {

using Quor::Common::HTTPConnection;
using Quor::Common::HTTPTransfers;
using Quor::Common::IFileTransfers;
using QuorTest::ScriptedResponse;

struct Case {
    const char* name;
    std::vector<ScriptedResponse> answers;
    int64_t maximum;  // the listener's bound, -1: none
};

std::vector<Case> Cases() {
    return {
        {"whole", {{.body = "hello"}}, -1},
        {"missing", {{.status = 404, .body = "no"}}, -1},
        {"third attempt", {{.status = 500}, {.status = 503}, {.body = "third"}}, -1},
        {"always cut", {{.body = "abcdefgh", .cutBodyAfter = 3}}, -1},
        {"over its bound", {{.body = "longer than the bound"}}, 6},
        {"exactly its bound", {{.body = "sixsix"}}, 6},
    };
}

// A listener with an optional bound that adds up what it is told.
class Listener final : public Quor::Common::IGetFileProgressCallback {
public:
    explicit Listener(int64_t maximum) : m_maximum(maximum) {}
    HRESULT GetFileProgressCallback(const SIZE_T delta) override {
        bytes += delta;
        return S_OK;
    }
    int64_t GetFileMaximumBytes() const override { return m_maximum; }
    uint64_t bytes = 0;

private:
    int64_t m_maximum;
};

TEST(HTTPTransfersTest, EveryDownloadInFlightEndsAsGetFileWould) {
    QuorTest::ScriptedHttpServer server;
    QuorTest::TempDir dir;
    ASSERT_TRUE(server.started());
    const std::vector<Case> cases = Cases();
    for (size_t i = 0; i < cases.size(); ++i) {
        server.SetResponses("/one/" + std::to_string(i), cases[i].answers);
        server.SetResponses("/many/" + std::to_string(i), cases[i].answers);
    }
    HRESULT result = E_FAIL;
    HTTPConnection connection(result, server.baseUrl(), 80, 60, false, nullptr);
    ASSERT_EQ(S_OK, result);
    HTTPTransfers transfers(result, connection, 3);
    ASSERT_EQ(S_OK, result);
    ASSERT_EQ(3u, transfers.Capacity());

    std::vector<std::unique_ptr<Listener>> listeners;
    std::map<size_t, HRESULT> results;
    size_t next = 0;
    while (next < cases.size() || transfers.Running() > 0) {
        while (next < cases.size() && transfers.Running() < transfers.Capacity()) {
            listeners.push_back(std::make_unique<Listener>(cases[next].maximum));
            ASSERT_EQ(S_OK, transfers.Start(next, "/many/" + std::to_string(next),
                                            dir / ("many" + std::to_string(next)), listeners.back().get()));
            ++next;
        }
        std::vector<IFileTransfers::Ended> ended;
        transfers.Run(ended);
        EXPECT_FALSE(ended.empty());
        for (const auto& one : ended) results[one.id] = one.result;
    }
    ASSERT_EQ(cases.size(), results.size());
    EXPECT_LE(2u, server.connectionCount());

    for (size_t i = 0; i < cases.size(); ++i) {
        Listener alone(cases[i].maximum);
        const HRESULT expected =
            connection.GetFile("/one/" + std::to_string(i), dir / ("one" + std::to_string(i)), &alone, false, true,
                               false, nullptr);
        SCOPED_TRACE(cases[i].name);
        EXPECT_EQ(SUCCEEDED(expected), SUCCEEDED(results[i]));
        EXPECT_EQ(QuorTest::ReadFile(dir / ("one" + std::to_string(i))),
                  QuorTest::ReadFile(dir / ("many" + std::to_string(i))));
        EXPECT_EQ(server.RequestCount("/one/" + std::to_string(i)), server.RequestCount("/many/" + std::to_string(i)));
        EXPECT_EQ(alone.bytes, listeners[i]->bytes);
    }
}

TEST(HTTPTransfersTest, RaisedStopFlagEndsEveryDownloadInFlight) {
    QuorTest::ScriptedHttpServer server;
    QuorTest::TempDir dir;
    ASSERT_TRUE(server.started());
    server.SetDefaultResponse({.body = std::string(50000, 's'),
                               .stallAfterBodyBytes = 100,
                               .stallInBody = QuorTest::kStallUntilStop});
    std::atomic<bool> stop{false};
    HRESULT result = E_FAIL;
    HTTPConnection connection(result, server.baseUrl(), 80, 60, false, nullptr);
    connection.SetStopFlag(&stop);
    HTTPTransfers transfers(result, connection, 3);
    ASSERT_EQ(S_OK, result);
    for (size_t i = 0; i < 3; ++i)
        ASSERT_EQ(S_OK, transfers.Start(i, "/stall/" + std::to_string(i), dir / std::to_string(i), nullptr));
    // Raised from another thread once every download is in the middle of its body.
    std::thread raiser([&] {
        EXPECT_TRUE(server.WaitForRequests(3));
        stop = true;
    });
    std::vector<IFileTransfers::Ended> ended;
    while (transfers.Running() > 0) transfers.Run(ended);
    raiser.join();
    ASSERT_EQ(3u, ended.size());
    for (const auto& one : ended) EXPECT_TRUE(FAILED(one.result)) << one.id;
}

}  // namespace
