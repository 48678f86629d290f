#pragma once
// RawHttpConnection: a minimal HTTP/1.1 client on a plain loopback socket, for checking the
// test kit's servers without the system's own HTTP code. One connection, reused for several
// requests while the server keeps it open; reads one response per call.
// Not thread-safe. Every read waits at most `timeout` (default 30 s), so that a test against a
// server that stalls fails instead of hanging. Failures are reported in the result, not thrown.
#include <chrono>
#include <cstdint>
#include <string>

#include "tests/kit/HttpHeaders.h"
#include "tests/kit/UniqueFd.h"

namespace QuorTest {

struct RawHttpResponse {
    int status = 0;             // 0: no status line arrived
    HttpHeaders headers;
    std::string body;
    bool complete = false;      // the whole body arrived (as long as Content-Length said, or up to the close)
    bool closed = false;        // the server closed the connection
    std::string error;          // what went wrong, when something did

    std::string header(const std::string& name) const { return FindHeader(headers, name); }
};

class RawHttpConnection {
public:
    explicit RawHttpConnection(uint16_t port, std::chrono::milliseconds timeout = std::chrono::seconds(30));
    bool connected() const { return m_fd.valid(); }
    const std::string& error() const { return m_error; }

    // Sends bytes as given.
    bool Send(const std::string& bytes);
    // Reads one response. A HEAD response has no body whatever its Content-Length says.
    RawHttpResponse ReadResponse(bool head = false);
    // Sends "<method> <target> HTTP/1.1" with Host (and Content-Length when `body` is not empty)
    // plus `extraHeaders` (each "Name: value\r\n"), then reads the response.
    RawHttpResponse Request(const std::string& method, const std::string& target,
                            const std::string& extraHeaders = "", const std::string& body = "");
    // Closes the connection.
    void Close() { m_fd.reset(); }

private:
    bool Fill(std::string& error);  // reads more into m_buffer; false on close, error or timeout

    UniqueFd m_fd;
    uint16_t m_port;
    std::string m_error;
    std::string m_buffer;
    bool m_closed = false;
};

// One request on a fresh connection.
RawHttpResponse RawHttpRequest(uint16_t port, const std::string& method, const std::string& target,
                               const std::string& extraHeaders = "", const std::string& body = "");

}  // namespace QuorTest
