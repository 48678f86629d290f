#include "bench/wan/EmulatedLink.h"

#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "bench/wan/DelayProxy.h"
#include "tests/kit/RunCommand.h"

namespace QuorBench {

namespace {

constexpr const char* kClientAddress = "10.77.0.1/24";
constexpr const char* kServerIp = "10.77.0.2";
constexpr uint16_t kServerPort = 8080;

// Runs the command lines in order (in the namespace of the calling thread); the first that fails.
std::string RunAll(const std::vector<std::string>& lines) {
    for (const std::string& line : lines)
        if (QuorTest::RunCommand(line + " >/dev/null 2>&1") != 0) return "\"" + line + "\" failed";
    return {};
}

std::string Tbf(const std::string& device, unsigned megabitsPerSecond) {
    // A burst of a few full-size packets keeps the rate smooth; the queue holds 50 ms at that rate.
    return "tc qdisc add dev " + device + " root tbf rate " + std::to_string(megabitsPerSecond) +
           "mbit burst 32kb latency 50ms";
}

}  // namespace

EmulatedLink::EmulatedLink(const std::string& contentRoot, unsigned megabitsPerSecond,
                           std::chrono::milliseconds oneWayDelay) {
    if (unshare(CLONE_NEWNET) != 0) {
        m_failure = std::string("cannot make a network namespace (unshare: ") + std::strerror(errno) + ")";
        return;
    }
    m_server = std::thread([this, contentRoot, megabitsPerSecond, oneWayDelay] {
        ServerSide(contentRoot, megabitsPerSecond, oneWayDelay);
    });
    if (!AwaitStage(Stage::Unshared)) return;
    m_failure = RunAll({"ip link set lo up",
                        "ip link add quorwanc type veth peer name quorwans netns " + std::to_string(m_serverTid),
                        std::string("ip addr add ") + kClientAddress + " dev quorwanc", "ip link set quorwanc up",
                        Tbf("quorwanc", megabitsPerSecond)});
    Advance(Stage::Linked);
    AwaitStage(Stage::Serving);
}

EmulatedLink::~EmulatedLink() {
    Advance(Stage::Stopping);
    if (m_server.joinable()) m_server.join();
}

std::string EmulatedLink::address() const { return std::string(kServerIp) + ":" + std::to_string(kServerPort); }

std::vector<QuorTest::NginxAccessEntry> EmulatedLink::accessLog() const {
    return m_nginx ? m_nginx->accessLog() : std::vector<QuorTest::NginxAccessEntry>{};
}

void EmulatedLink::Advance(Stage stage) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_stage < stage) m_stage = stage;
    m_changed.notify_all();
}

bool EmulatedLink::AwaitStage(Stage stage) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [&] { return m_stage >= stage; });
    return m_failure.empty();
}

void EmulatedLink::ServerSide(std::string contentRoot, unsigned megabitsPerSecond, std::chrono::milliseconds delay) {
    // The server thread's own namespace: nginx (started from here) and the proxy's sockets live in it.
    if (unshare(CLONE_NEWNET) != 0) {
        m_failure = std::string("cannot make the server's network namespace (unshare: ") + std::strerror(errno) + ")";
        Advance(Stage::Ended);
        return;
    }
    m_serverTid = static_cast<pid_t>(syscall(SYS_gettid));
    Advance(Stage::Unshared);
    if (AwaitStage(Stage::Linked)) {
        m_failure = RunAll({"ip link set lo up", std::string("ip addr add ") + kServerIp + "/24 dev quorwans",
                            "ip link set quorwans up", Tbf("quorwans", megabitsPerSecond)});
    }
    if (m_failure.empty()) {
        m_nginx = std::make_unique<QuorTest::NginxServer>(contentRoot);
        if (!m_nginx->started()) m_failure = "nginx did not start: " + m_nginx->errorLog();
    }
    if (m_failure.empty()) {
        std::string failure;
        m_proxy = std::make_unique<DelayProxy>(kServerIp, kServerPort, "127.0.0.1", m_nginx->port(), delay, failure);
        m_failure = failure;
    }
    Advance(Stage::Serving);
    AwaitStage(Stage::Stopping);
    m_proxy.reset();
    m_nginx.reset();
    Advance(Stage::Ended);
}

}  // namespace QuorBench
