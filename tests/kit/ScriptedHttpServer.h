#pragma once
// ScriptedHttpServer: a loopback HTTP/1.1 server for fault injection in tests.
//
// It listens on 127.0.0.1 on a port the system picks, from construction until Stop() or its
// destruction, and answers every request with the response scripted for its path (or the
// default response, 404 unless set): any status, headers and body, with faults on demand (no
// Content-Length, a body cut short, stalls, corrupted bytes, a HEAD answered with a body).
// Every request (method, target, headers, body) is logged for the test to inspect.
//
// Threads: one accepting thread and one thread per connection; every public member may be called
// from any thread. Stop() (and the destructor) is prompt even with clients connected or a stall in
// progress: every wait of the server threads also watches a wake-up pipe, and the threads are
// joined before Stop() returns. No thread is cancelled and no server thread outlives the object.
// Errors: a server that cannot listen fails the current test (ADD_FAILURE) and reports
// started() == false.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/kit/HttpHeaders.h"
#include "tests/kit/UniqueFd.h"

namespace QuorTest {

// A stall long enough to last until the server is stopped.
inline constexpr std::chrono::milliseconds kStallUntilStop = std::chrono::hours(24);

// One scripted answer. An aggregate, so that a test can write
//   server.SetResponse("/a", {.status = 200, .body = "hello", .cutBodyAfter = 2});
struct ScriptedResponse {
    int status = 200;
    HttpHeaders headers{};  // sent as given, after the status line
    std::string body{};
    // Content-Length is sent (unless `headers` holds one, which then stands as given, true or
    // not). When false none is sent and the connection is closed after the body.
    bool contentLength = true;
    // Only this many body bytes are sent; then the connection is closed.
    std::optional<size_t> cutBodyAfter{};
    // Waits before anything of the response is sent.
    std::chrono::milliseconds stallBeforeHeaders{0};
    // Waits `stallInBody` after the headers and `stallAfterBodyBytes` body bytes were sent.
    size_t stallAfterBodyBytes = 0;
    std::chrono::milliseconds stallInBody{0};
    // Offsets into the body whose bytes are inverted on the wire (the length stays the same).
    std::vector<size_t> corruptBodyBytes{};
    // When false a HEAD request is answered with the body too.
    bool honourHead = true;
    // When false the response says "Connection: close" and the connection is closed after it.
    bool keepAlive = true;
    // When larger than the body, the body is followed by filler bytes (padWith) up to this total
    // (Content-Length counts them): a body far longer than the file it stands for, sent without
    // keeping it in memory.
    uint64_t padBodyTo = 0;
    char padWith = '#';
    // When non-zero the body goes out `trickleBytes` bytes per interval (a trickling server).
    std::chrono::milliseconds trickleEvery{0};
    size_t trickleBytes = 1;
    // When true the body is sent chunked ("Transfer-Encoding: chunked", no Content-Length), each
    // piece written as a chunk of its own, and ended by the last chunk unless it is cut.
    bool chunked = false;
};

// One request as the server received it.
struct RecordedRequest {
    std::string method;
    std::string target;  // as sent, with any query
    std::string path;    // the target up to "?"
    std::string version; // "HTTP/1.1"
    HttpHeaders headers;
    std::string body;    // de-chunked when it came chunked
    unsigned connection = 0;           // 1 for the first connection accepted, 2 for the next...
    unsigned requestOnConnection = 0;  // 1 for the first request on its connection...

    std::string header(const std::string& name) const { return FindHeader(headers, name); }
};

class ScriptedHttpServer {
public:
    ScriptedHttpServer();
    ~ScriptedHttpServer();
    ScriptedHttpServer(const ScriptedHttpServer&) = delete;
    ScriptedHttpServer& operator=(const ScriptedHttpServer&) = delete;

    bool started() const { return m_port != 0; }
    uint16_t port() const { return m_port; }
    // "127.0.0.1:PORT"
    std::string baseUrl() const;

    // Scripts: `path` is matched against the whole target first, then against the target without
    // its query. A sequence is answered in order, and its last response repeats once it is used up
    // (e.g. {404, 404, 200}: two 404s, then 200 for every later request).
    void SetResponse(const std::string& path, ScriptedResponse response);
    void SetResponses(const std::string& path, std::vector<ScriptedResponse> responses);
    void SetDefaultResponse(ScriptedResponse response);

    // The request log, oldest first. A request is logged once it was read in full, before its
    // response is sent.
    std::vector<RecordedRequest> requests() const;
    size_t RequestCount(const std::string& path) const;
    // Waits until at least `count` requests were logged; false if that did not happen in time.
    bool WaitForRequests(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(30)) const;
    // Waits until at least `count` requests for `path` were logged; false if not in time.
    bool WaitForRequestsTo(const std::string& path, size_t count,
                           std::chrono::milliseconds timeout = std::chrono::seconds(30)) const;
    // Connections accepted so far.
    unsigned connectionCount() const;
    // Responses whose sending ended because the client closed the connection (or reset it);
    // WaitForPeerCloses waits until at least `count` of them happened, false if not in time.
    unsigned peerCloseCount() const;
    bool WaitForPeerCloses(unsigned count, std::chrono::milliseconds timeout = std::chrono::seconds(30)) const;
    // The most body bytes one response has sent so far.
    uint64_t largestBodySent() const;

    // Stops listening, closes every connection (interrupting stalls) and joins the server threads.
    // Idempotent.
    void Stop();

private:
    struct Script {
        std::vector<ScriptedResponse> responses;
        size_t next = 0;
    };
    struct Worker {
        std::thread thread;
        std::shared_ptr<bool> done;  // guarded by m_mutex
    };

    void AcceptLoop();
    void ServeConnection(UniqueFd fd, unsigned connection, std::shared_ptr<bool> done);
    ScriptedResponse NextResponse(const RecordedRequest& request);
    void Record(const RecordedRequest& request);
    void ReapFinishedWorkers();

    UniqueFd m_listener;
    UniqueFd m_wakeRead;
    UniqueFd m_wakeWrite;
    uint16_t m_port = 0;

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_logged;
    std::map<std::string, Script> m_scripts;
    ScriptedResponse m_default{.status = 404};
    std::vector<RecordedRequest> m_requests;
    unsigned m_connections = 0;
    unsigned m_peerCloses = 0;
    uint64_t m_largestBodySent = 0;
    std::list<Worker> m_workers;  // touched by the accepting thread, and by Stop() after joining it

    std::mutex m_stopMutex;  // serialises Stop()
    bool m_stopped = false;
    std::thread m_acceptThread;
};

}  // namespace QuorTest
