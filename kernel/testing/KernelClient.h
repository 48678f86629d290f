#pragma once
// Test helper: a raw loopback client of the kernel. Sends bytes as given (or requests built by the
// protocol's sender), reads responses cut by their length word and decodes them into
// RecordedCalls. Every read is bounded by a time-out so that a kernel that never answers fails the
// test instead of hanging it. One thread at a time; the socket closes with the object.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "foundation/ByteOrder.h"
#include "protocol/IAppToOrvane.h"
#include "protocol/ISendPacket.h"
#include "protocol/ToAppDispatch.h"
#include "protocol/ToOrvaneSend.h"
#include "protocol/testing/RecordingOrvaneToApp.h"

namespace QuorTest {

// The bytes of one request, as the protocol's sender writes them.
inline std::vector<BYTE> RequestBytes(const std::function<void(Quor::OrvaneProtocol::IAppToOrvane&)>& make) {
    struct Capture final : Quor::OrvaneProtocol::ISendPacket {
        std::vector<BYTE> bytes;
        HRESULT SendPacket(const DWORD, const UINT size, const BYTE* const data) override {
            bytes.insert(bytes.end(), data, data + size);
            return S_OK;
        }
    } capture;
    Quor::OrvaneProtocol::ToOrvane::Send sender(capture);
    make(sender);
    return capture.bytes;
}

// A bare request header (and whatever body bytes follow).
inline std::vector<BYTE> RawRequest(DWORD length, DWORD requestId, DWORD type, std::vector<BYTE> body = {}) {
    std::vector<BYTE> bytes(12 + body.size());
    Vorn::Bytes::StoreLE32(bytes.data(), length);
    Vorn::Bytes::StoreLE32(bytes.data() + 4, requestId);
    Vorn::Bytes::StoreLE32(bytes.data() + 8, type);
    std::copy(body.begin(), body.end(), bytes.begin() + 12);
    return bytes;
}

inline std::vector<BYTE> Join(std::vector<BYTE> a, const std::vector<BYTE>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class KernelClient {
public:
    explicit KernelClient(uint16_t port) {
        m_Fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (m_Fd >= 0 && ::connect(m_Fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(m_Fd);
            m_Fd = -1;
        }
    }
    ~KernelClient() { Close(); }
    KernelClient(const KernelClient&) = delete;
    KernelClient& operator=(const KernelClient&) = delete;

    bool Connected() const { return m_Fd >= 0; }
    int Fd() const { return m_Fd; }
    void Close() {
        if (m_Fd >= 0) ::close(m_Fd);
        m_Fd = -1;
    }

    bool Send(const std::vector<BYTE>& bytes) {
        size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = ::send(m_Fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) return false;
            sent += static_cast<size_t>(n);
        }
        return true;
    }
    bool Request(const std::function<void(Quor::OrvaneProtocol::IAppToOrvane&)>& make) {
        return Send(RequestBytes(make));
    }

    // One whole response packet; empty when the connection closed or nothing came in time.
    std::vector<BYTE> ReadPacket(int timeoutMs = 20000) {
        std::vector<BYTE> packet;
        if (!ReadExactly(4, packet, timeoutMs)) return {};
        const DWORD length = Vorn::Bytes::LoadLE32(packet.data());
        if (length < 16 || length > (1u << 24) || !ReadExactly(length - 4, packet, timeoutMs)) return {};
        return packet;
    }
    // The next response decoded; empty when none came.
    std::optional<RecordedCall> Next(int timeoutMs = 20000) {
        const std::vector<BYTE> packet = ReadPacket(timeoutMs);
        if (packet.empty()) return std::nullopt;
        RecordingOrvaneToApp target;
        Quor::OrvaneProtocol::ToApp::TranslateAndDispatch(0, static_cast<UINT>(packet.size()), packet.data(),
                                                          target);
        const auto calls = target.log.Calls();
        if (calls.empty()) return std::nullopt;
        return calls.front();
    }
    // The next response that is not a progress report.
    std::optional<RecordedCall> Answer(int timeoutMs = 20000) {
        for (;;) {
            auto call = Next(timeoutMs);
            if (!call || call->operation != "RequestProgress") return call;
        }
    }
    // True when the kernel closed the connection (end of stream or reset) within the time-out.
    bool WaitClosed(int timeoutMs = 20000) {
        for (;;) {
            pollfd p{m_Fd, POLLIN, 0};
            if (::poll(&p, 1, timeoutMs) <= 0) return false;
            BYTE byte;
            const ssize_t n = ::recv(m_Fd, &byte, 1, 0);
            if (n <= 0) return true;
        }
    }

private:
    bool ReadExactly(size_t count, std::vector<BYTE>& into, int timeoutMs) {
        size_t got = 0;
        const size_t base = into.size();
        into.resize(base + count);
        while (got < count) {
            pollfd p{m_Fd, POLLIN, 0};
            if (::poll(&p, 1, timeoutMs) <= 0) return false;
            const ssize_t n = ::recv(m_Fd, into.data() + base + got, count - got, 0);
            if (n <= 0) return false;
            got += static_cast<size_t>(n);
        }
        return true;
    }

    int m_Fd = -1;
};

}  // namespace QuorTest
