#pragma once
// NginxServer: the Debian nginx (/usr/sbin/nginx) serving a content folder on a free loopback
// port, for end-to-end tests: static files, HEAD, Range requests, keep-alive.
//
// The constructor writes a configuration into a fresh temporary prefix folder (configuration,
// error and access logs, pid file and temporary folders all live there), starts nginx in the
// foreground as one process, and returns once the port accepts connections; it retries with
// another port when the one picked was taken meanwhile. The destructor (or Stop()) ends nginx,
// reaps it and removes the prefix, also when the test failed or threw. nginx is started with a
// parent-death signal, so it also ends if the test process is killed: construct and destroy the
// server on the same long-lived thread (the test's own).
// Errors: a server that does not start fails the current test (ADD_FAILURE, with nginx's error log)
// and reports started() == false.
// Threads: not thread-safe; accessLog() may be read while requests are served.
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tests/kit/TempDir.h"

namespace QuorTest {

// One line of the access log.
struct NginxAccessEntry {
    unsigned long long connection = 0;  // nginx's serial number of the connection
    unsigned connectionRequests = 0;    // 1 for the first request on the connection, 2 for the next...
    std::string method;
    std::string uri;                    // as requested, with any query
    int status = 0;
    unsigned long long bodyBytes = 0;   // body bytes sent
    std::string range;                  // the Range header, "-" if none
    std::string line;                   // the whole line
};

class NginxServer {
public:
    // Picks the port for one start attempt; 0 when there is none.
    using PortPicker = std::function<uint16_t()>;

    // Serves the files below `contentRoot` (which must exist) at "/". `pickPort` is for testing
    // the retry on a taken port; by default each attempt takes a port that was just free.
    // `bytesPerSecond` > 0 limits each response to that rate (a slower link, for benchmarks).
    explicit NginxServer(const std::string& contentRoot, PortPicker pickPort = {},
                         unsigned long long bytesPerSecond = 0);
    ~NginxServer();
    NginxServer(const NginxServer&) = delete;
    NginxServer& operator=(const NginxServer&) = delete;

    bool started() const { return m_pid > 0; }
    uint16_t port() const { return m_port; }
    // "127.0.0.1:PORT"
    std::string baseUrl() const;
    const std::string& prefix() const { return m_prefix.path(); }

    // The access log: one line per finished request, oldest first.
    std::vector<std::string> accessLogLines() const;
    std::vector<NginxAccessEntry> accessLog() const;
    // nginx writes a request's line once it has sent the response, which may be just after the
    // client got it: waits until at least `count` lines are there; false if they did not come.
    bool WaitForAccessLog(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(30)) const;
    std::string errorLog() const;

    // Ends nginx and reaps it; the prefix folder stays until destruction. Idempotent.
    void Stop();

private:
    enum class Outcome { Started, PortTaken, Failed };
    Outcome StartOnce(const std::string& contentRoot, const PortPicker& pickPort, std::string& failure);
    bool WriteConfiguration(const std::string& contentRoot, std::string& failure) const;
    void Kill();

    TempDir m_prefix{"quornginx"};
    pid_t m_pid = -1;
    uint16_t m_port = 0;
    unsigned long long m_bytesPerSecond = 0;
};

}  // namespace QuorTest
