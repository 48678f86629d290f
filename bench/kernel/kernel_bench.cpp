// GetVersion round trips against the kernel's request server: one client alone and many clients at
// once (one connection each, requests in a loop), beside a bare thread-per-client server that
// answers the same 12 bytes with the same 20. Prints throughput, median and p99 latency, and
// checks the goals: many-client throughput at least the one-client figure, and a many-client p99
// of at most 1.5 x clients x the one-client median (each request waits for the others in turn).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "bench/support/BenchSupport.h"
#include "common/ThreadPool.h"
#include "foundation/ByteOrder.h"
#include "kernel/KernelThread.h"

namespace {

struct Figures {
    double perSecond = 0;
    double median = 0;  // seconds
    double p99 = 0;
};

int Connect(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

bool ReadAll(int fd, BYTE* into, size_t count) {
    for (size_t got = 0; got < count;) {
        const ssize_t n = ::recv(fd, into + got, count - got, 0);
        if (n <= 0) return false;
        got += static_cast<size_t>(n);
    }
    return true;
}

Figures Run(uint16_t port, int clients, double seconds) {
    std::vector<std::vector<double>> latencies(static_cast<size_t>(clients));
    std::atomic<bool> failed{false};
    std::vector<std::thread> threads;
    const double end = QuorBench::Now() + seconds;
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&, c] {
            const int fd = Connect(port);
            if (fd < 0) {
                failed = true;
                return;
            }
            auto& mine = latencies[static_cast<size_t>(c)];
            BYTE request[12];
            BYTE answer[20];
            for (DWORD id = 0;; ++id) {
                const double start = QuorBench::Now();
                if (start >= end) break;
                Vorn::Bytes::StoreLE32(request, 12);
                Vorn::Bytes::StoreLE32(request + 4, id);
                Vorn::Bytes::StoreLE32(request + 8, 0);
                if (::send(fd, request, sizeof request, MSG_NOSIGNAL) != sizeof request ||
                    !ReadAll(fd, answer, sizeof answer) || Vorn::Bytes::LoadLE32(answer + 8) != id) {
                    failed = true;
                    break;
                }
                mine.push_back(QuorBench::Now() - start);
            }
            ::close(fd);
        });
    }
    for (auto& thread : threads) thread.join();
    std::vector<double> all;
    for (const auto& mine : latencies) all.insert(all.end(), mine.begin(), mine.end());
    Figures figures;
    if (failed || all.empty()) {
        std::fprintf(stderr, "a client failed\n");
        return figures;
    }
    std::sort(all.begin(), all.end());
    figures.perSecond = static_cast<double>(all.size()) / seconds;
    figures.median = all[all.size() / 2];
    figures.p99 = all[std::min(all.size() - 1, all.size() * 99 / 100)];
    return figures;
}

// The peer: one thread per client that answers every 12-byte request with 20 bytes.
class BareServer {
public:
    BareServer() {
        m_Listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        ::bind(m_Listen, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(m_Listen, 128);
        ::getsockname(m_Listen, reinterpret_cast<sockaddr*>(&address), &size);
        m_Port = ntohs(address.sin_port);
        m_Acceptor = std::thread([this] {
            for (;;) {
                const int fd = ::accept4(m_Listen, nullptr, nullptr, SOCK_CLOEXEC);
                if (fd < 0) return;
                m_Clients.emplace_back([fd] {
                    const int on = 1;
                    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
                    BYTE request[12];
                    BYTE answer[20] = {};
                    while (ReadAll(fd, request, sizeof request)) {
                        Vorn::Bytes::StoreLE32(answer, 20);
                        Vorn::Bytes::StoreLE32(answer + 8, Vorn::Bytes::LoadLE32(request + 4));
                        if (::send(fd, answer, sizeof answer, MSG_NOSIGNAL) != sizeof answer) break;
                    }
                    ::close(fd);
                });
            }
        });
    }
    ~BareServer() {
        ::shutdown(m_Listen, SHUT_RDWR);
        m_Acceptor.join();
        ::close(m_Listen);
        for (auto& client : m_Clients) client.join();
    }
    uint16_t Port() const { return m_Port; }

private:
    int m_Listen = -1;
    uint16_t m_Port = 0;
    std::thread m_Acceptor;
    std::vector<std::thread> m_Clients;
};

uint16_t FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(fd);
    return ntohs(address.sin_port);
}

void Print(const char* name, const Figures& f) {
    std::printf("%-28s %10.0f req/s   median %8.1f us   p99 %8.1f us\n", name, f.perSecond, f.median * 1e6,
                f.p99 * 1e6);
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    const int clients = argc > 2 ? std::atoi(argv[2]) : 64;
    ::setenv("ORVANE_INSTANCE", ("_bench" + std::to_string(::getpid())).c_str(), 1);

    HRESULT hr = E_FAIL;
    auto pool = Quor::Common::ThreadPool::CreatePool(0, 0);
    Quor::Orvane::KernelThreadOptions options;
    options.port = FreePort();
    Quor::Orvane::KernelThread server(pool, options, hr);
    if (FAILED(hr)) {
        std::fprintf(stderr, "the request server did not start (0x%08x)\n", static_cast<unsigned>(hr));
        return 1;
    }
    std::printf("GetVersion round trips, %.0f s each, %d clients\n", seconds, clients);
    const Figures oursOne = Run(static_cast<uint16_t>(options.port), 1, seconds);
    Print("ours, 1 client", oursOne);
    const Figures oursMany = Run(static_cast<uint16_t>(options.port), clients, seconds);
    Print(("ours, " + std::to_string(clients) + " clients").c_str(), oursMany);

    BareServer bare;
    const Figures bareOne = Run(bare.Port(), 1, seconds);
    Print("bare server, 1 client", bareOne);
    const Figures bareMany = Run(bare.Port(), clients, seconds);
    Print(("bare server, " + std::to_string(clients) + " clients").c_str(), bareMany);

    std::printf("ratio ours/bare: 1 client %.2f, %d clients %.2f\n", oursOne.perSecond / bareOne.perSecond,
                clients, oursMany.perSecond / bareMany.perSecond);
    const bool throughput = oursMany.perSecond >= oursOne.perSecond;
    const double p99Limit = 1.5 * clients * oursOne.median;
    const bool latency = oursMany.p99 <= p99Limit;
    std::printf("goal: %d-client throughput >= 1-client: %s (%.0f vs %.0f)\n", clients,
                throughput ? "met" : "MISSED", oursMany.perSecond, oursOne.perSecond);
    std::printf("goal: %d-client p99 <= 1.5 x %d x 1-client median = %.1f us: %s (%.1f us)\n", clients,
                clients, p99Limit * 1e6, latency ? "met" : "MISSED", oursMany.p99 * 1e6);
    return 0;
}
