#pragma once
// RecordingCollector: a telemetry collector stand-in on a loopback port. It answers a POST to
// "/messages" with 200 and records it (body and headers, such as Content-Type); a request to any
// other path gets 404, and only POSTs to "/messages" count as messages. Told to stall, it holds every later POST without an
// answer until it is stopped (or told to stop stalling), to test shutting down against a stalled
// collector. Built on ScriptedHttpServer: the same threads, prompt stop and request log.
// Threads: every member may be called from any thread.
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/kit/ScriptedHttpServer.h"

namespace QuorTest {

class RecordingCollector {
public:
    RecordingCollector();

    bool started() const { return m_server.started(); }
    uint16_t port() const { return m_server.port(); }
    // "127.0.0.1:PORT"
    std::string baseUrl() const { return m_server.baseUrl(); }

    // The POSTs to "/messages" received so far, oldest first (recorded before they are answered,
    // so a stalled POST is here too).
    std::vector<RecordedRequest> messages() const;
    // Waits until at least `count` messages came; false if they did not come in time.
    bool WaitForMessages(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(30)) const;
    // Every request, also those that are not messages.
    std::vector<RecordedRequest> requests() const { return m_server.requests(); }

    // While stalled, a POST to "/messages" gets no answer until Stop() or SetStalled(false)
    // (which affects later POSTs only).
    void SetStalled(bool stalled);

    void Stop() { m_server.Stop(); }

private:
    ScriptedHttpServer m_server;
};

}  // namespace QuorTest
