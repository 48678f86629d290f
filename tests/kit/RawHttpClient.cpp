#include "tests/kit/RawHttpClient.h"

#include <sys/socket.h>
#include <sys/time.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "tests/kit/LoopbackSocket.h"

namespace QuorTest {

RawHttpConnection::RawHttpConnection(uint16_t port, std::chrono::milliseconds timeout) : m_port(port) {
    m_fd = ConnectLoopback(port, &m_error);
    if (!m_fd.valid()) return;
    timeval tv{};
    tv.tv_sec = static_cast<time_t>(timeout.count() / 1000);
    tv.tv_usec = static_cast<suseconds_t>((timeout.count() % 1000) * 1000);
    ::setsockopt(m_fd.get(), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    ::setsockopt(m_fd.get(), SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

bool RawHttpConnection::Send(const std::string& bytes) {
    if (!m_fd.valid()) return false;
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t sent = ::send(m_fd.get(), bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) {
            m_error = std::string("send: ") + strerror(errno);
            return false;
        }
        done += static_cast<size_t>(sent);
    }
    return true;
}

bool RawHttpConnection::Fill(std::string& error) {
    if (!m_fd.valid() || m_closed) return false;
    char chunk[65536];
    for (;;) {
        ssize_t got = ::recv(m_fd.get(), chunk, sizeof chunk, 0);
        if (got > 0) {
            m_buffer.append(chunk, static_cast<size_t>(got));
            return true;
        }
        if (got < 0 && errno == EINTR) continue;
        if (got == 0) {
            m_closed = true;
        } else {
            error = (errno == EAGAIN || errno == EWOULDBLOCK) ? "timed out waiting for the server"
                                                              : std::string("recv: ") + strerror(errno);
            m_closed = errno != EAGAIN && errno != EWOULDBLOCK;
        }
        return false;
    }
}

RawHttpResponse RawHttpConnection::ReadResponse(bool head) {
    RawHttpResponse response;
    size_t headEnd;
    for (;;) {
        // Interim 1xx responses (100 Continue) are skipped.
        while ((headEnd = m_buffer.find("\r\n\r\n")) == std::string::npos) {
            if (!Fill(response.error)) {
                response.closed = m_closed;
                if (response.error.empty()) response.error = "connection closed before the response head";
                return response;
            }
        }
        if (m_buffer.rfind("HTTP/1.1 1", 0) == 0 || m_buffer.rfind("HTTP/1.0 1", 0) == 0) {
            m_buffer.erase(0, headEnd + 4);
            continue;
        }
        break;
    }
    std::string headText = m_buffer.substr(0, headEnd);
    m_buffer.erase(0, headEnd + 4);
    size_t lineEnd = headText.find("\r\n");
    std::string statusLine = headText.substr(0, lineEnd);
    if (statusLine.rfind("HTTP/1.", 0) != 0 || statusLine.size() < 12) {
        response.error = "bad status line: " + statusLine;
        return response;
    }
    response.status = std::atoi(statusLine.c_str() + 9);
    if (lineEnd != std::string::npos && !ParseHeaderLines(headText.substr(lineEnd + 2), response.headers)) {
        response.error = "bad header block";
        return response;
    }

    bool noBody = head || response.status == 204 || response.status == 304;
    std::string lengthText = response.header("Content-Length");
    if (noBody) {
        response.complete = true;
    } else if (!lengthText.empty()) {
        size_t length = std::strtoull(lengthText.c_str(), nullptr, 10);
        while (m_buffer.size() < length && Fill(response.error)) {
        }
        size_t take = std::min(length, m_buffer.size());
        response.body = m_buffer.substr(0, take);
        m_buffer.erase(0, take);
        response.complete = take == length;
    } else {
        // No length: the body runs to the end of the connection.
        while (Fill(response.error)) {
        }
        response.body.swap(m_buffer);
        response.complete = m_closed && response.error.empty();
    }
    if (!m_closed && EqualsNoCase(response.header("Connection"), "close")) {
        std::string ignored;
        while (Fill(ignored)) {
        }
    }
    response.closed = m_closed;
    return response;
}

RawHttpResponse RawHttpConnection::Request(const std::string& method, const std::string& target,
                                           const std::string& extraHeaders, const std::string& body) {
    std::string request = method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(m_port) + "\r\n";
    if (!body.empty()) request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    request += extraHeaders + "\r\n" + body;
    if (!Send(request)) {
        RawHttpResponse failed;
        failed.error = m_error.empty() ? "not connected" : m_error;
        return failed;
    }
    return ReadResponse(method == "HEAD");
}

RawHttpResponse RawHttpRequest(uint16_t port, const std::string& method, const std::string& target,
                               const std::string& extraHeaders, const std::string& body) {
    RawHttpConnection connection(port);
    if (!connection.connected()) {
        RawHttpResponse failed;
        failed.error = "connect: " + connection.error();
        return failed;
    }
    return connection.Request(method, target, extraHeaders, body);
}

}  // namespace QuorTest
