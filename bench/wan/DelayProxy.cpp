#include "bench/wan/DelayProxy.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <vector>

namespace QuorBench {

namespace {

using Clock = std::chrono::steady_clock;

bool MakeAddress(const std::string& address, uint16_t port, sockaddr_in& out) {
    out = sockaddr_in{};
    out.sin_family = AF_INET;
    out.sin_port = htons(port);
    return inet_pton(AF_INET, address.c_str(), &out.sin_addr) == 1;
}

// One direction of a connection: chunks with the time they may leave.
class Pipe {
public:
    Pipe(int from, int to, std::chrono::milliseconds delay) : m_from(from), m_to(to), m_delay(delay) {}

    void Read() {
        std::vector<char> buffer(64 * 1024);
        for (;;) {
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_changed.wait(lock, [&] { return m_buffered < DelayProxy::kMaxBuffered || m_closed; });
                if (m_closed) return;
            }
            const ssize_t n = recv(m_from, buffer.data(), buffer.size(), 0);
            if (n < 0 && errno == EINTR) continue;
            std::lock_guard<std::mutex> lock(m_mutex);
            if (n <= 0) {
                m_chunks.push_back({Clock::now() + m_delay, {}});  // end of stream
                m_changed.notify_all();
                return;
            }
            m_chunks.push_back({Clock::now() + m_delay, std::string(buffer.data(), static_cast<size_t>(n))});
            m_buffered += static_cast<size_t>(n);
            m_changed.notify_all();
        }
    }

    void Write() {
        for (;;) {
            Chunk chunk;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_changed.wait(lock, [&] { return !m_chunks.empty() || m_closed; });
                if (m_closed) return;
                const Clock::time_point due = m_chunks.front().due;
                if (m_changed.wait_until(lock, due, [&] { return m_closed; })) return;
                chunk = std::move(m_chunks.front());
                m_chunks.pop_front();
                m_buffered -= chunk.bytes.size();
                m_changed.notify_all();
            }
            if (chunk.bytes.empty()) {
                shutdown(m_to, SHUT_WR);
                return;
            }
            size_t sent = 0;
            while (sent < chunk.bytes.size()) {
                const ssize_t n = send(m_to, chunk.bytes.data() + sent, chunk.bytes.size() - sent, MSG_NOSIGNAL);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) {
                    Close();
                    return;
                }
                sent += static_cast<size_t>(n);
            }
        }
    }

    void Close() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_closed = true;
        m_changed.notify_all();
    }

private:
    struct Chunk {
        Clock::time_point due;
        std::string bytes;  // empty: end of stream
    };
    int m_from;
    int m_to;
    std::chrono::milliseconds m_delay;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Chunk> m_chunks;
    size_t m_buffered = 0;
    bool m_closed = false;
};

}  // namespace

struct DelayProxy::Relay {
    Relay(int clientSocket, int serverSocket, std::chrono::milliseconds delay)
        : client(clientSocket),
          server(serverSocket),
          up(clientSocket, serverSocket, delay),
          down(serverSocket, clientSocket, delay) {
        threads.emplace_back([this] { up.Read(); ++ended; });
        threads.emplace_back([this] { up.Write(); ++ended; });
        threads.emplace_back([this] { down.Read(); ++ended; });
        threads.emplace_back([this] { down.Write(); ++ended; });
    }
    ~Relay() {
        up.Close();
        down.Close();
        shutdown(client, SHUT_RDWR);
        shutdown(server, SHUT_RDWR);
        for (std::thread& thread : threads) thread.join();
        close(client);
        close(server);
    }
    int client;
    int server;
    Pipe up;
    Pipe down;
    std::vector<std::thread> threads;
    std::atomic<int> ended{0};
};

DelayProxy::DelayProxy(const std::string& listenAddress, uint16_t listenPort, const std::string& upstreamAddress,
                       uint16_t upstreamPort, std::chrono::milliseconds delay, std::string& failure)
    : m_delay(delay) {
    sockaddr_in listen{};
    if (!MakeAddress(listenAddress, listenPort, listen) || !MakeAddress(upstreamAddress, upstreamPort, m_upstream)) {
        failure = "bad proxy address";
        return;
    }
    m_listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    if (m_listener < 0 || setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0 ||
        bind(m_listener, reinterpret_cast<sockaddr*>(&listen), sizeof listen) != 0 || ::listen(m_listener, 128) != 0) {
        failure = std::string("proxy cannot listen on ") + listenAddress + ": " + std::strerror(errno);
        if (m_listener >= 0) close(m_listener);
        m_listener = -1;
        return;
    }
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    if (getsockname(m_listener, reinterpret_cast<sockaddr*>(&bound), &length) == 0) m_port = ntohs(bound.sin_port);
    m_acceptor = std::thread([this] { AcceptLoop(); });
}

DelayProxy::~DelayProxy() {
    m_stopping = true;
    if (m_listener >= 0) shutdown(m_listener, SHUT_RDWR);
    if (m_acceptor.joinable()) m_acceptor.join();
    if (m_listener >= 0) close(m_listener);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_relays.clear();
}

void DelayProxy::AcceptLoop() {
    while (!m_stopping) {
        const int client = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            return;
        }
        const int server = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (server < 0 || connect(server, reinterpret_cast<const sockaddr*>(&m_upstream), sizeof m_upstream) != 0) {
            if (server >= 0) close(server);
            close(client);
            continue;
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_relays.remove_if([](const std::unique_ptr<Relay>& relay) { return relay->ended.load() == 4; });
        m_relays.push_back(std::make_unique<Relay>(client, server, m_delay));
    }
}

}  // namespace QuorBench
