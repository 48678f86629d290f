#pragma once
// DelayProxy: a TCP relay that holds every byte for a fixed time in each direction, so that a
// request and its answer cross a round trip of twice that time (this machine's kernel has no
// netem to delay packets).
//
// It listens on the given IPv4 address and port (in the network namespace of the thread that
// constructs it) and, for every accepted connection, opens one to the upstream address and relays
// both ways: each chunk read is written out `delay` after it arrived, in order. At most
// kMaxBuffered bytes wait per direction; beyond that the relay stops reading. End of stream is
// passed on (shutdown of the writing side) once the bytes before it were written.
// Threads: one accepting thread and four per connection (reader and writer each way); the
// destructor closes the listener and every connection and joins every thread. Not copyable.
#include <netinet/in.h>

#include <atomic>
#include <chrono>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace QuorBench {

class DelayProxy {
public:
    static constexpr size_t kMaxBuffered = 8u << 20;

    // failure is set (and nothing listens) when the listener cannot be made. A listenPort of 0
    // lets the system pick one (port()).
    DelayProxy(const std::string& listenAddress, uint16_t listenPort, const std::string& upstreamAddress,
               uint16_t upstreamPort, std::chrono::milliseconds delay, std::string& failure);
    ~DelayProxy();
    DelayProxy(const DelayProxy&) = delete;
    DelayProxy& operator=(const DelayProxy&) = delete;

    // The port it listens on (0 when it does not).
    uint16_t port() const { return m_port; }

private:
    struct Relay;
    void AcceptLoop();

    sockaddr_in m_upstream{};
    std::chrono::milliseconds m_delay;
    int m_listener = -1;
    uint16_t m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::thread m_acceptor;
    std::mutex m_mutex;  // guards m_relays
    std::list<std::unique_ptr<Relay>> m_relays;
};

}  // namespace QuorBench
