// Round trips of a request and its answer over a loopback TCP connection.
//
// Ours: the client's ToOrvane::Send writes the request, the server cuts it from its stream by the
// length word and hands it to ToOrvane::TranslateAndDispatch, whose target answers through
// ToApp::Send; the client cuts the answer and decodes it with ToApp::TranslateAndDispatch. The log
// is at DEBUG and goes to a file, as in the kernel. Peer: the same sockets, the same byte counts
// and the same cutting, with fixed bytes in place of the codec and no log.
// Rounds alternate which side goes first; prints each round's medians, then the median and 99th
// percentile per round trip over every round and the ratio of the medians (min and median of the
// rounds' ratios beside it).
//
//   quor_bench_protocol [round trips per round] [rounds]
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/support/BenchSupport.h"
#include "common/Log.h"
#include "foundation/ByteOrder.h"
#include "foundation/Sockets.h"
#include "protocol/ToAppDispatch.h"
#include "protocol/ToAppSend.h"
#include "protocol/ToOrvaneDispatch.h"
#include "protocol/ToOrvaneSend.h"
#include "protocol/testing/NullAppToOrvane.h"
#include "protocol/testing/NullOrvaneToApp.h"

namespace {

using namespace Quor::OrvaneProtocol;
using Vorn::Sockets::Socket;

const std::string kLockPath = std::string(100, 'd');
const std::string kArchiveName = "filearchives/1.0.0.0/archive_0.dat";

// Whole packets cut from a socket's byte stream by their length words.
class PacketStream {
public:
    explicit PacketStream(Socket socket) : m_Socket(socket), m_Buffer(8192) {}
    // The next whole packet; false when the peer closed or the stream broke.
    bool Next(const BYTE*& data, UINT& size) {
        if (m_Used) {
            std::memmove(m_Buffer.data(), m_Buffer.data() + m_Used, m_Have - m_Used);
            m_Have -= m_Used;
            m_Used = 0;
        }
        for (;;) {
            if (m_Have >= 4) {
                const DWORD length = Vorn::Bytes::LoadLE32(m_Buffer.data());
                if (length < 12 || length > m_Buffer.size()) return false;
                if (m_Have >= length) {
                    data = m_Buffer.data();
                    size = length;
                    m_Used = length;
                    return true;
                }
            }
            DWORD got = 0;
            if (!Vorn::Sockets::Recv(m_Socket, m_Buffer.data() + m_Have,
                                     static_cast<DWORD>(m_Buffer.size() - m_Have), got) ||
                got == 0)
                return false;
            m_Have += got;
        }
    }

private:
    Socket m_Socket;
    std::vector<BYTE> m_Buffer;
    size_t m_Have = 0;
    size_t m_Used = 0;
};

bool SendAll(Socket socket, const BYTE* data, size_t size) {
    while (size) {
        DWORD sent = 0;
        if (!Vorn::Sockets::Send(socket, data, static_cast<DWORD>(size), sent)) return false;
        data += sent;
        size -= sent;
    }
    return true;
}

class SocketTransport final : public ISendPacket {
public:
    explicit SocketTransport(Socket socket) : m_Socket(socket) {}
    HRESULT SendPacket(const DWORD, const UINT size, const BYTE* const data) override {
        return SendAll(m_Socket, data, size) ? S_OK : E_FAIL;
    }

private:
    Socket m_Socket;
};

// The kernel side of ours: answers the two requests of the benchmark.
class Kernel final : public QuorTest::NullAppToOrvane {
public:
    explicit Kernel(ISendPacket& transport) : m_Reply(transport) {}
    void GetVersionRequest(const DWORD requester, const DWORD requestId) override {
        m_Reply.GetVersionResponse(requester, requestId, 0x01000003);
    }
    void LockFileRequest(const DWORD requester, const DWORD requestId, const std::string&, const DWORD,
                         const std::string&) override {
        m_Reply.LockFileResponse(requester, requestId, S_OK, kArchiveName, 4096, 100000, 7);
    }

private:
    ToApp::Send m_Reply;
};

class Client final : public QuorTest::NullOrvaneToApp {
public:
    DWORD answers = 0;
    void GetVersionResponse(const DWORD, const DWORD, const DWORD) override { ++answers; }
    void LockFileResponse(const DWORD, const DWORD, const HRESULT, const std::string&, const DWORD,
                          const DWORD, const DWORD) override {
        ++answers;
    }
};

// The bytes one call of a sender writes (for the bare peer's fixed packets).
template <typename Sender>
std::vector<BYTE> Capture(const std::function<void(Sender&)>& call) {
    struct Keep final : ISendPacket {
        std::vector<BYTE> bytes;
        HRESULT SendPacket(const DWORD, const UINT size, const BYTE* const data) override {
            bytes.assign(data, data + size);
            return S_OK;
        }
    } keep;
    Sender sender(keep);
    call(sender);
    return keep.bytes;
}

struct Figures {
    double median = 0;
    double p99 = 0;
};

// Runs `rounds` round trips against a server thread serving one connection with `serve`.
Figures Run(int rounds, const std::function<void(Socket)>& serve,
            const std::function<bool(Socket, int)>& roundTrip, std::vector<double>* all = nullptr) {
    Socket listener = Vorn::Sockets::Create();
    if (listener < 0 || !Vorn::Sockets::Bind(listener, 0x7F000001, 0) ||
        !Vorn::Sockets::Listen(listener, 1)) {
        std::fprintf(stderr, "cannot listen on loopback\n");
        std::exit(1);
    }
    sockaddr_in address{};
    socklen_t length = sizeof address;
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    std::thread server([&] {
        Socket connection = -1;
        if (Vorn::Sockets::Accept(listener, connection)) {
            serve(connection);
            Vorn::Sockets::Close(connection);
        }
    });
    Socket client = Vorn::Sockets::Create();
    if (!Vorn::Sockets::Connect(client, 0x7F000001, ntohs(address.sin_port))) {
        std::fprintf(stderr, "cannot connect\n");
        std::exit(1);
    }
    std::vector<double> micros;
    micros.reserve(static_cast<size_t>(rounds));
    for (int i = 0; i < rounds; ++i) {
        const double start = QuorBench::Now();
        if (!roundTrip(client, i)) {
            std::fprintf(stderr, "round trip %d failed\n", i);
            std::exit(1);
        }
        micros.push_back((QuorBench::Now() - start) * 1e6);
    }
    Vorn::Sockets::Close(client);
    server.join();
    Vorn::Sockets::Close(listener);
    if (all) all->insert(all->end(), micros.begin(), micros.end());
    std::sort(micros.begin(), micros.end());
    return {micros[micros.size() / 2], micros[micros.size() * 99 / 100]};
}

Figures Ours(int rounds, const std::function<void(IAppToOrvane&, DWORD)>& request,
             std::vector<double>* all = nullptr) {
    return Run(
        rounds,
        [](Socket connection) {
            SocketTransport transport(connection);
            Kernel kernel(transport);
            PacketStream in(connection);
            const BYTE* data = nullptr;
            UINT size = 0;
            while (in.Next(data, size))
                ToOrvane::TranslateAndDispatch(static_cast<DWORD>(connection), size, data, kernel);
        },
        [&, stream = std::shared_ptr<PacketStream>(), client = Client()](Socket socket, int i) mutable {
            if (!stream) stream = std::make_shared<PacketStream>(socket);
            SocketTransport transport(socket);
            ToOrvane::Send sender(transport);
            request(sender, static_cast<DWORD>(i));
            const BYTE* data = nullptr;
            UINT size = 0;
            const DWORD before = client.answers;
            return stream->Next(data, size) &&
                   SUCCEEDED(ToApp::TranslateAndDispatch(0, size, data, client)) &&
                   client.answers == before + 1;
        },
        all);
}

Figures Bare(int rounds, const std::vector<BYTE>& request, const std::vector<BYTE>& answer,
             std::vector<double>* all = nullptr) {
    return Run(
        rounds,
        [&](Socket connection) {
            PacketStream in(connection);
            const BYTE* data = nullptr;
            UINT size = 0;
            while (in.Next(data, size))
                if (!SendAll(connection, answer.data(), answer.size())) break;
        },
        [&, stream = std::shared_ptr<PacketStream>()](Socket socket, int) mutable {
            if (!stream) stream = std::make_shared<PacketStream>(socket);
            const BYTE* data = nullptr;
            UINT size = 0;
            return SendAll(socket, request.data(), request.size()) && stream->Next(data, size) &&
                   size == answer.size();
        },
        all);
}

Figures Pooled(std::vector<double>& micros) {
    std::sort(micros.begin(), micros.end());
    return {micros[micros.size() / 2], micros[micros.size() * 99 / 100]};
}

void Report(const char* what, size_t requestBytes, size_t answerBytes, const Figures& ours,
            const Figures& bare, double minRatio, double medianRatio) {
    std::printf(
        "%-10s %3zu/%3zu bytes  ours median %7.2f us  p99 %7.2f us | bare median %7.2f us  p99 %7.2f us"
        " | ratio %.2f (rounds: min %.2f, median %.2f; goal <= 1.5, ours under 100 us)\n",
        what, requestBytes, answerBytes, ours.median, ours.p99, bare.median, bare.p99,
        ours.median / bare.median, minRatio, medianRatio);
}

}  // namespace

int main(int argc, char** argv) {
    const int trips = argc > 1 ? std::max(100, std::atoi(argv[1])) : 20000;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    char folder[] = "/tmp/quor_bench_protocol.XXXXXX";
    if (!mkdtemp(folder)) return 1;
    const std::string logPath = std::string(folder) + "/bench.log";
    Quor::Log::SetLogFile(logPath.c_str(), 1);
    Quor::Log::SetLogLevel(Quor::Log::DEBUG);

    struct Message {
        const char* name;
        std::function<void(IAppToOrvane&, DWORD)> request;
        std::function<void(IOrvaneToApp&)> answer;
    };
    const Message messages[] = {
        {"GetVersion", [](IAppToOrvane& s, DWORD id) { s.GetVersionRequest(0, id); },
         [](IOrvaneToApp& s) { s.GetVersionResponse(0, 0, 0x01000003); }},
        {"LockFile",
         [](IAppToOrvane& s, DWORD id) { s.LockFileRequest(0, id, "kiv_game", 0x01000000, kLockPath); },
         [](IOrvaneToApp& s) { s.LockFileResponse(0, 0, S_OK, kArchiveName, 4096, 100000, 7); }},
    };
    std::printf("%d rounds of %d round trips each side, log at DEBUG to %s\n", rounds, trips, logPath.c_str());
    for (const Message& m : messages) {
        const auto request = Capture<ToOrvane::Send>([&](ToOrvane::Send& s) { m.request(s, 0); });
        const auto answer = Capture<ToApp::Send>([&](ToApp::Send& s) { m.answer(s); });
        Bare(trips / 10, request, answer);  // warm-up
        Ours(trips / 10, m.request);
        std::vector<double> oursAll, bareAll, ratios;
        for (int r = 0; r < rounds; ++r) {
            Figures ours, bare;
            if (r % 2 == 0) {
                ours = Ours(trips, m.request, &oursAll);
                bare = Bare(trips, request, answer, &bareAll);
            } else {
                bare = Bare(trips, request, answer, &bareAll);
                ours = Ours(trips, m.request, &oursAll);
            }
            ratios.push_back(ours.median / bare.median);
            std::printf("%-10s round %d (%s first): ours median %.2f us, bare median %.2f us\n", m.name, r + 1,
                        r % 2 == 0 ? "ours" : "bare", ours.median, bare.median);
        }
        std::sort(ratios.begin(), ratios.end());
        Report(m.name, request.size(), answer.size(), Pooled(oursAll), Pooled(bareAll), ratios.front(),
               ratios[ratios.size() / 2]);
    }
    Quor::Log::SetLogFile(nullptr);
    unlink(logPath.c_str());
    for (int i = 1; i <= 2; ++i) unlink((logPath + std::to_string(i)).c_str());
    rmdir(folder);
    return 0;
}
