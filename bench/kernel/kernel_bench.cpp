// GetVersion round trips against the kernel's request server: one client alone and many clients at
// once (one connection each, requests in a loop), beside a bare thread-per-client server that
// answers the same 12 bytes with the same 20. Prints throughput, median and p99 latency, and
// checks the goals: many-client throughput at least the one-client figure, and a many-client p99
// of at most 1.5 x clients x the one-client median (each request waits for the others in turn).
// Both servers run throughout; in each round ours and the bare server take turns at going first,
// and the figures given are the medians over the rounds.
//
//   quor_bench_kernel [seconds per run] [clients] [rounds]
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

// The figures of one side over the rounds: req/s, median and p99 of every round, and their medians.
struct Rounds {
    std::vector<Figures> each;
    Figures Median() const {
        Figures m;
        const auto at = [&](double Figures::*field) {
            std::vector<double> v;
            for (const Figures& f : each) v.push_back(f.*field);
            std::sort(v.begin(), v.end());
            return v.empty() ? 0.0 : v[v.size() / 2];
        };
        m.perSecond = at(&Figures::perSecond);
        m.median = at(&Figures::median);
        m.p99 = at(&Figures::p99);
        return m;
    }
    double MinPerSecond() const {
        double low = 1e300;
        for (const Figures& f : each) low = std::min(low, f.perSecond);
        return low;
    }
};

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 2.0;
    const int clients = argc > 2 ? std::atoi(argv[2]) : 64;
    const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
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
    // Both servers run throughout, so that each side is measured beside the same idle other one.
    BareServer bare;
    std::printf("GetVersion round trips, %.1f s each, %d clients, %d rounds (ours and the bare server taking "
                "turns at going first)\n",
                seconds, clients, rounds);
    Rounds oursOne, oursMany, bareOne, bareMany;
    for (int r = 0; r < rounds; ++r) {
        for (int turn = 0; turn < 2; ++turn) {
            if ((turn == 0) == (r % 2 == 0)) {
                oursOne.each.push_back(Run(static_cast<uint16_t>(options.port), 1, seconds));
                oursMany.each.push_back(Run(static_cast<uint16_t>(options.port), clients, seconds));
            } else {
                bareOne.each.push_back(Run(bare.Port(), 1, seconds));
                bareMany.each.push_back(Run(bare.Port(), clients, seconds));
            }
        }
        if (oursOne.each.back().perSecond == 0 || oursMany.each.back().perSecond == 0 ||
            bareOne.each.back().perSecond == 0 || bareMany.each.back().perSecond == 0) {
            std::fprintf(stderr, "round %d failed; no ratio is printed\n", r + 1);
            return 1;
        }
        std::printf("round %d (%s first): ours %.0f / %.0f req/s, bare %.0f / %.0f req/s (1 / %d clients)\n", r + 1,
                    r % 2 == 0 ? "ours" : "bare", oursOne.each.back().perSecond, oursMany.each.back().perSecond,
                    bareOne.each.back().perSecond, bareMany.each.back().perSecond, clients);
    }
    const Figures oursOneM = oursOne.Median(), oursManyM = oursMany.Median();
    const Figures bareOneM = bareOne.Median(), bareManyM = bareMany.Median();
    std::printf("medians of %d rounds:\n", rounds);
    Print("ours, 1 client", oursOneM);
    Print(("ours, " + std::to_string(clients) + " clients").c_str(), oursManyM);
    Print("bare server, 1 client", bareOneM);
    Print(("bare server, " + std::to_string(clients) + " clients").c_str(), bareManyM);

    std::printf("ratio ours/bare (median): 1 client %.2f, %d clients %.2f; (min): 1 client %.2f, %d clients %.2f\n",
                oursOneM.perSecond / bareOneM.perSecond, clients, oursManyM.perSecond / bareManyM.perSecond,
                oursOne.MinPerSecond() / bareOne.MinPerSecond(), clients,
                oursMany.MinPerSecond() / bareMany.MinPerSecond());
    const bool throughput = oursManyM.perSecond >= oursOneM.perSecond;
    const double p99Limit = 1.5 * clients * oursOneM.median;
    const bool latency = oursManyM.p99 <= p99Limit;
    std::printf("goal: %d-client throughput >= 1-client: %s (%.0f vs %.0f)\n", clients,
                throughput ? "met" : "MISSED", oursManyM.perSecond, oursOneM.perSecond);
    std::printf("goal: %d-client p99 <= 1.5 x %d x 1-client median = %.1f us: %s (%.1f us)\n", clients,
                clients, p99Limit * 1e6, latency ? "met" : "MISSED", oursManyM.p99 * 1e6);
    return 0;
}
