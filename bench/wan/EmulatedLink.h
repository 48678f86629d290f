#pragma once
// EmulatedLink: a distant content server on this machine. The constructing thread (and every
// process it starts afterwards) moves into a fresh network namespace, the client side; a thread of
// its own holds a second one, the server side, where nginx serves the content folder on loopback
// behind a DelayProxy. The two namespaces are joined by a veth pair whose both ends are limited by
// a token bucket (tc tbf) to the given rate; the proxy adds the given one-way delay in each
// direction. Clients reach the server at address() ("10.77.0.2:8080").
// Failure: when a namespace, the veth pair, the rate limit, nginx or the proxy cannot be made,
// failure() says what and nothing is served (namespaces need root or user namespaces).
// The destructor stops the proxy and nginx on the server thread and joins it. Not copyable; one
// per process.
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/kit/NginxServer.h"

namespace QuorBench {

class DelayProxy;

class EmulatedLink {
public:
    EmulatedLink(const std::string& contentRoot, unsigned megabitsPerSecond, std::chrono::milliseconds oneWayDelay);
    ~EmulatedLink();
    EmulatedLink(const EmulatedLink&) = delete;
    EmulatedLink& operator=(const EmulatedLink&) = delete;

    const std::string& failure() const { return m_failure; }
    std::string address() const;
    // nginx's access log (read from the client side while the server side serves).
    std::vector<QuorTest::NginxAccessEntry> accessLog() const;

private:
    enum class Stage { Starting, Unshared, Linked, Serving, Stopping, Ended };
    void ServerSide(std::string contentRoot, unsigned megabitsPerSecond, std::chrono::milliseconds delay);
    void Advance(Stage stage);
    bool AwaitStage(Stage stage);

    std::mutex m_mutex;
    std::condition_variable m_changed;
    Stage m_stage = Stage::Starting;  // guarded by m_mutex
    std::string m_failure;            // set before the stage that reports it
    pid_t m_serverTid = 0;
    std::unique_ptr<QuorTest::NginxServer> m_nginx;  // made and destroyed on the server thread
    std::unique_ptr<DelayProxy> m_proxy;
    std::thread m_server;
};

}  // namespace QuorBench
