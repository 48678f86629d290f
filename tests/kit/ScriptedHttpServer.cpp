#include "tests/kit/ScriptedHttpServer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tests/kit/LoopbackSocket.h"

namespace QuorTest {

namespace {

constexpr size_t kMaxRequestHead = 64 * 1024;
constexpr size_t kMaxRequestBody = 256u * 1024 * 1024;
constexpr int kLingerMilliseconds = 2000;

// A non-blocking connection whose every wait also watches the server's wake-up pipe: once the
// server stops, each operation returns false at once.
class Channel {
public:
    Channel(int fd, int wake) : m_fd(fd), m_wake(wake) {}

    bool Send(const char* data, size_t size) {
        while (size > 0) {
            ssize_t sent = ::send(m_fd, data, size, MSG_NOSIGNAL);
            if (sent > 0) {
                data += sent;
                size -= static_cast<size_t>(sent);
            } else if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                if (!Wait(POLLOUT, -1)) return false;
            } else if (sent < 0 && errno == EINTR) {
                continue;
            } else {
                m_peerGone = true;
                return false;
            }
        }
        return true;
    }
    bool Send(const std::string& text) { return Send(text.data(), text.size()); }

    // Appends what arrives to `buffer`; false on end of stream, error or stop.
    bool Receive(std::string& buffer, int timeoutMs = -1) {
        char chunk[16384];
        for (;;) {
            ssize_t got = ::recv(m_fd, chunk, sizeof chunk, 0);
            if (got > 0) {
                buffer.append(chunk, static_cast<size_t>(got));
                return true;
            }
            if (got == 0) return false;
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
            if (!Wait(POLLIN, timeoutMs)) return false;
        }
    }

    // Sleeps for `duration` unless the server stops first; false if it stopped.
    bool Sleep(std::chrono::milliseconds duration) {
        auto deadline = std::chrono::steady_clock::now() + duration;
        for (;;) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return !Stopping();
            pollfd wake{m_wake, POLLIN, 0};
            int rc = ::poll(&wake, 1, static_cast<int>(std::min<long long>(left.count(), 60'000)));
            if (rc > 0) return false;
        }
    }

    // As Sleep, but also ends early (false, PeerGone() true) when the client closes or resets
    // the connection.
    bool SleepWatchingPeer(std::chrono::milliseconds duration) {
        auto deadline = std::chrono::steady_clock::now() + duration;
        for (;;) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return !Stopping();
            pollfd fds[2] = {{m_fd, POLLRDHUP, 0}, {m_wake, POLLIN, 0}};
            int rc = ::poll(fds, 2, static_cast<int>(std::min<long long>(left.count(), 60'000)));
            if (rc < 0 && errno == EINTR) continue;
            if (rc < 0 || fds[1].revents) return false;
            if (fds[0].revents & (POLLRDHUP | POLLHUP | POLLERR)) {
                m_peerGone = true;
                return false;
            }
        }
    }
    // True once a send failed or a watched sleep saw the client go.
    bool PeerGone() const { return m_peerGone; }

    // Sends FIN, then reads and drops what the client still sends until it closes (or a short
    // while passed), so that closing does not reset the connection and destroy data in flight.
    void LingeringClose() {
        ::shutdown(m_fd, SHUT_WR);
        std::string sink;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kLingerMilliseconds);
        while (std::chrono::steady_clock::now() < deadline) {
            sink.clear();
            if (!Receive(sink, kLingerMilliseconds)) break;
        }
    }

private:
    bool Stopping() const {
        pollfd wake{m_wake, POLLIN, 0};
        return ::poll(&wake, 1, 0) > 0;
    }

    // Waits for `events` on the connection; false on stop, error or timeout.
    bool Wait(short events, int timeoutMs) {
        pollfd fds[2] = {{m_fd, events, 0}, {m_wake, POLLIN, 0}};
        for (;;) {
            int rc = ::poll(fds, 2, timeoutMs);
            if (rc < 0 && errno == EINTR) continue;
            if (rc <= 0) return false;
            if (fds[1].revents) return false;
            return true;  // ready, or an error the next call reports
        }
    }

    int m_fd;
    int m_wake;
    bool m_peerGone = false;
};

const char* Reason(int status) {
    switch (status) {
        case 100: return "Continue";
        case 200: return "OK";
        case 201: return "Created";
        case 204: return "No Content";
        case 206: return "Partial Content";
        case 301: return "Moved Permanently";
        case 302: return "Found";
        case 304: return "Not Modified";
        case 400: return "Bad Request";
        case 403: return "Forbidden";
        case 404: return "Not Found";
        case 405: return "Method Not Allowed";
        case 413: return "Payload Too Large";
        case 416: return "Range Not Satisfiable";
        case 500: return "Internal Server Error";
        case 502: return "Bad Gateway";
        case 503: return "Service Unavailable";
        case 504: return "Gateway Timeout";
        default: return "Status";
    }
}

enum class ReadResult { Ok, Closed, Bad, TooLarge };

bool ParseSize(const std::string& text, int base, size_t& value) {
    if (text.empty() || text.size() > 16) return false;
    value = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else return false;
        value = value * static_cast<size_t>(base) + static_cast<size_t>(digit);
        if (value > kMaxRequestBody) return false;
    }
    return true;
}

// Reads requests off one connection; `m_buffer` keeps bytes of pipelined requests.
class RequestReader {
public:
    explicit RequestReader(Channel& channel) : m_channel(channel) {}

    ReadResult Read(RecordedRequest& request) {
        size_t headEnd;
        for (;;) {
            headEnd = m_buffer.find("\r\n\r\n");
            if (headEnd != std::string::npos) break;
            if (m_buffer.size() > kMaxRequestHead) return ReadResult::Bad;
            if (!m_channel.Receive(m_buffer)) return ReadResult::Closed;
        }
        std::string head = m_buffer.substr(0, headEnd);
        m_buffer.erase(0, headEnd + 4);

        size_t lineEnd = head.find("\r\n");
        std::string line = head.substr(0, lineEnd);
        size_t first = line.find(' ');
        size_t last = line.rfind(' ');
        if (first == std::string::npos || first == last) return ReadResult::Bad;
        request.method = line.substr(0, first);
        request.target = line.substr(first + 1, last - first - 1);
        request.version = line.substr(last + 1);
        if (request.method.empty() || request.target.empty() || request.version.rfind("HTTP/1.", 0) != 0)
            return ReadResult::Bad;
        request.path = request.target.substr(0, request.target.find('?'));
        if (lineEnd != std::string::npos && !ParseHeaderLines(head.substr(lineEnd + 2), request.headers))
            return ReadResult::Bad;

        bool chunked = FindHeader(request.headers, "Transfer-Encoding").find("chunked") != std::string::npos;
        std::string lengthText = FindHeader(request.headers, "Content-Length");
        size_t length = 0;
        if (!chunked && !lengthText.empty() && !ParseSize(lengthText, 10, length)) return ReadResult::TooLarge;
        if (EqualsNoCase(FindHeader(request.headers, "Expect"), "100-continue") && (chunked || length > 0)) {
            if (!m_channel.Send("HTTP/1.1 100 Continue\r\n\r\n")) return ReadResult::Closed;
        }
        return chunked ? ReadChunked(request.body) : ReadExactly(length, request.body);
    }

private:
    bool Fill(size_t size) {
        while (m_buffer.size() < size) {
            if (!m_channel.Receive(m_buffer)) return false;
        }
        return true;
    }

    ReadResult ReadExactly(size_t length, std::string& body) {
        if (!Fill(length)) return ReadResult::Closed;
        body.assign(m_buffer, 0, length);
        m_buffer.erase(0, length);
        return ReadResult::Ok;
    }

    // Reads one CRLF-terminated line (without the CRLF).
    ReadResult ReadLine(std::string& line) {
        size_t end;
        while ((end = m_buffer.find("\r\n")) == std::string::npos) {
            if (m_buffer.size() > kMaxRequestHead) return ReadResult::Bad;
            if (!m_channel.Receive(m_buffer)) return ReadResult::Closed;
        }
        line = m_buffer.substr(0, end);
        m_buffer.erase(0, end + 2);
        return ReadResult::Ok;
    }

    ReadResult ReadChunked(std::string& body) {
        for (;;) {
            std::string line;
            if (ReadResult r = ReadLine(line); r != ReadResult::Ok) return r;
            size_t size;
            if (!ParseSize(line.substr(0, line.find(';')), 16, size)) return ReadResult::Bad;
            if (size == 0) break;
            if (body.size() + size > kMaxRequestBody) return ReadResult::TooLarge;
            if (!Fill(size + 2)) return ReadResult::Closed;
            if (m_buffer.compare(size, 2, "\r\n") != 0) return ReadResult::Bad;
            body.append(m_buffer, 0, size);
            m_buffer.erase(0, size + 2);
        }
        for (;;) {  // trailer fields, up to the empty line
            std::string line;
            if (ReadResult r = ReadLine(line); r != ReadResult::Ok) return r;
            if (line.empty()) return ReadResult::Ok;
        }
    }

    Channel& m_channel;
    std::string m_buffer;
};

// How the body's bytes go on the wire: as they are or framed as chunks, `trickleBytes` at a time
// every `trickle` when that is set.
struct BodyFraming {
    std::chrono::milliseconds trickle{0};
    size_t trickleBytes = 1;
    bool chunked = false;
};

bool SendFramed(Channel& channel, const BodyFraming& framing, const char* data, size_t size) {
    if (!framing.chunked) return channel.Send(data, size);
    char head[32];
    std::snprintf(head, sizeof head, "%zx\r\n", size);
    return channel.Send(head) && channel.Send(data, size) && channel.Send("\r\n", 2);
}

// Sends body bytes [from, to) of a response: the scripted body, then filler up to its padded size.
// false when the server stopped or the client went.
bool SendBodyBytes(Channel& channel, const std::string& body, char padWith, uint64_t from, uint64_t to,
                   const BodyFraming& framing, uint64_t& sent) {
    const std::string filler(65536, padWith);
    for (uint64_t at = from; at < to;) {
        const char* data = nullptr;
        uint64_t size = 0;
        if (at < body.size()) {
            data = body.data() + at;
            size = std::min<uint64_t>(body.size() - at, to - at);
        } else {
            data = filler.data();
            size = std::min<uint64_t>(filler.size(), to - at);
        }
        if (framing.trickle.count() > 0) {
            size = std::min<uint64_t>(size, std::max<size_t>(framing.trickleBytes, 1));
            if (!channel.SleepWatchingPeer(framing.trickle)) return false;
        }
        if (!SendFramed(channel, framing, data, static_cast<size_t>(size))) return false;
        at += size;
        sent = at;
    }
    return true;
}

struct SendOutcome {
    bool stopped = false;     // the server stopped, or the client went, while sending
    bool peerClosed = false;  // the client closed or reset the connection while sending
    uint64_t bodySent = 0;
};

// Sends `response` to `request`; returns true when the connection must be closed afterwards.
bool SendResponse(Channel& channel, const RecordedRequest& request, const ScriptedResponse& response,
                  SendOutcome& outcome) {
    std::string connectionField = FindHeader(request.headers, "Connection");
    bool clientCloses = EqualsNoCase(connectionField, "close") ||
                        (request.version == "HTTP/1.0" && !EqualsNoCase(connectionField, "keep-alive"));
    bool ownLength = HasHeader(response.headers, "Content-Length");
    bool close = !response.keepAlive || clientCloses || response.cutBodyAfter.has_value() ||
                 (!response.contentLength && !ownLength && !response.chunked);
    const uint64_t total = std::max<uint64_t>(response.body.size(), response.padBodyTo);

    std::string head = "HTTP/1.1 " + std::to_string(response.status) + " " + Reason(response.status) + "\r\n";
    for (const auto& [name, value] : response.headers) head += name + ": " + value + "\r\n";
    if (response.chunked)
        head += "Transfer-Encoding: chunked\r\n";
    else if (response.contentLength && !ownLength)
        head += "Content-Length: " + std::to_string(total) + "\r\n";
    if (close && !HasHeader(response.headers, "Connection")) head += "Connection: close\r\n";
    head += "\r\n";

    std::string body = response.body;
    for (size_t offset : response.corruptBodyBytes) {
        if (offset < body.size()) body[offset] = static_cast<char>(~static_cast<unsigned char>(body[offset]));
    }
    bool sendBody = !(request.method == "HEAD" && response.honourHead);
    uint64_t limit = sendBody ? std::min<uint64_t>(total, response.cutBodyAfter.value_or(total)) : 0;

    outcome.stopped = true;
    struct PeerNote {
        Channel& channel;
        SendOutcome& outcome;
        ~PeerNote() { outcome.peerClosed = channel.PeerGone(); }
    } note{channel, outcome};
    if (response.stallBeforeHeaders.count() > 0 && !channel.Sleep(response.stallBeforeHeaders)) return true;
    if (!channel.Send(head)) return true;
    uint64_t sent = 0;
    const BodyFraming framing{response.trickleEvery, response.trickleBytes, response.chunked};
    if (response.stallInBody.count() > 0 && response.stallAfterBodyBytes <= limit) {
        if (!SendBodyBytes(channel, body, response.padWith, 0, response.stallAfterBodyBytes, framing, outcome.bodySent))
            return true;
        sent = response.stallAfterBodyBytes;
        if (!channel.Sleep(response.stallInBody)) return true;
    }
    if (!SendBodyBytes(channel, body, response.padWith, sent, limit, framing, outcome.bodySent)) return true;
    if (response.chunked && sendBody && limit == total && !channel.Send("0\r\n\r\n")) return true;
    outcome.stopped = false;
    return close;
}

}  // namespace

ScriptedHttpServer::ScriptedHttpServer() {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        ADD_FAILURE() << "ScriptedHttpServer: pipe2 failed: " << strerror(errno);
        return;
    }
    m_wakeRead.reset(pipeFds[0]);
    m_wakeWrite.reset(pipeFds[1]);
    std::string error;
    m_listener = ListenLoopback(0, &error);
    if (!m_listener.valid()) {
        ADD_FAILURE() << "ScriptedHttpServer: cannot listen on 127.0.0.1: " << error;
        return;
    }
    uint16_t port = LocalPort(m_listener.get());
    if (port == 0) {
        ADD_FAILURE() << "ScriptedHttpServer: getsockname failed: " << strerror(errno);
        return;
    }
    m_acceptThread = std::thread([this] { AcceptLoop(); });
    m_port = port;
}

ScriptedHttpServer::~ScriptedHttpServer() { Stop(); }

std::string ScriptedHttpServer::baseUrl() const { return "127.0.0.1:" + std::to_string(m_port); }

void ScriptedHttpServer::SetResponse(const std::string& path, ScriptedResponse response) {
    SetResponses(path, {std::move(response)});
}

void ScriptedHttpServer::SetResponses(const std::string& path, std::vector<ScriptedResponse> responses) {
    std::lock_guard lock(m_mutex);
    if (responses.empty()) {
        m_scripts.erase(path);
        return;
    }
    m_scripts[path] = Script{std::move(responses), 0};
}

void ScriptedHttpServer::SetDefaultResponse(ScriptedResponse response) {
    std::lock_guard lock(m_mutex);
    m_default = std::move(response);
}

std::vector<RecordedRequest> ScriptedHttpServer::requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

size_t ScriptedHttpServer::RequestCount(const std::string& path) const {
    std::lock_guard lock(m_mutex);
    return static_cast<size_t>(std::count_if(m_requests.begin(), m_requests.end(),
                                             [&](const RecordedRequest& r) { return r.path == path; }));
}

bool ScriptedHttpServer::WaitForRequests(size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_mutex);
    return m_logged.wait_for(lock, timeout, [&] { return m_requests.size() >= count; });
}

bool ScriptedHttpServer::WaitForRequestsTo(const std::string& path, size_t count,
                                           std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_mutex);
    return m_logged.wait_for(lock, timeout, [&] {
        return static_cast<size_t>(std::count_if(m_requests.begin(), m_requests.end(),
                                                 [&](const RecordedRequest& r) { return r.path == path; })) >= count;
    });
}

unsigned ScriptedHttpServer::peerCloseCount() const {
    std::lock_guard lock(m_mutex);
    return m_peerCloses;
}

bool ScriptedHttpServer::WaitForPeerCloses(unsigned count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_mutex);
    return m_logged.wait_for(lock, timeout, [&] { return m_peerCloses >= count; });
}

uint64_t ScriptedHttpServer::largestBodySent() const {
    std::lock_guard lock(m_mutex);
    return m_largestBodySent;
}

unsigned ScriptedHttpServer::connectionCount() const {
    std::lock_guard lock(m_mutex);
    return m_connections;
}

void ScriptedHttpServer::Stop() {
    std::lock_guard stopLock(m_stopMutex);
    if (m_stopped) return;
    m_stopped = true;
    if (m_wakeWrite.valid()) {
        // The pipe is never read: it stays readable, so every later wait of every thread ends.
        char byte = 1;
        while (::write(m_wakeWrite.get(), &byte, 1) < 0 && errno == EINTR) {
        }
    }
    if (m_acceptThread.joinable()) m_acceptThread.join();
    for (Worker& worker : m_workers) worker.thread.join();
    m_workers.clear();
    m_listener.reset();
}

void ScriptedHttpServer::AcceptLoop() {
    for (;;) {
        pollfd fds[2] = {{m_listener.get(), POLLIN, 0}, {m_wakeRead.get(), POLLIN, 0}};
        int rc = ::poll(fds, 2, -1);
        if (rc < 0 && errno == EINTR) continue;
        if (rc < 0 || fds[1].revents) return;
        UniqueFd fd(::accept4(m_listener.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
        if (!fd.valid()) continue;  // EAGAIN, an aborted connection, or out of descriptors for now
        ReapFinishedWorkers();
        unsigned number;
        auto done = std::make_shared<bool>(false);
        {
            std::lock_guard lock(m_mutex);
            number = ++m_connections;
        }
        try {
            std::thread thread([this, fd = std::move(fd), number, done]() mutable {
                ServeConnection(std::move(fd), number, done);
            });
            m_workers.push_back(Worker{std::move(thread), done});
        } catch (const std::system_error&) {
            // No thread for this connection: its socket was closed with the lambda.
        }
    }
}

void ScriptedHttpServer::ReapFinishedWorkers() {
    for (auto it = m_workers.begin(); it != m_workers.end();) {
        bool done;
        {
            std::lock_guard lock(m_mutex);
            done = *it->done;
        }
        if (done) {
            it->thread.join();
            it = m_workers.erase(it);
        } else {
            ++it;
        }
    }
}

void ScriptedHttpServer::ServeConnection(UniqueFd fd, unsigned connection, std::shared_ptr<bool> done) {
    Channel channel(fd.get(), m_wakeRead.get());
    RequestReader reader(channel);
    bool stopped = false;
    SendOutcome outcome;
    // Counts what one response did once it ended.
    auto note = [&] {
        stopped = outcome.stopped;
        std::lock_guard lock(m_mutex);
        m_largestBodySent = std::max(m_largestBodySent, outcome.bodySent);
        if (outcome.peerClosed) {
            ++m_peerCloses;
            m_logged.notify_all();
        }
        outcome = SendOutcome{};
    };
    try {
        for (unsigned number = 1;; ++number) {
            RecordedRequest request;
            ReadResult result = reader.Read(request);
            if (result == ReadResult::Closed) break;
            if (result != ReadResult::Ok) {
                ScriptedResponse refusal{.status = result == ReadResult::TooLarge ? 413 : 400, .keepAlive = false};
                SendResponse(channel, request, refusal, outcome);
                note();
                break;
            }
            request.connection = connection;
            request.requestOnConnection = number;
            Record(request);
            ScriptedResponse response = NextResponse(request);
            const bool closeAfter = SendResponse(channel, request, response, outcome);
            note();
            if (closeAfter) break;
        }
    } catch (const std::exception& e) {
        // Out of memory for a body, most likely: this connection ends, the server goes on.
        fprintf(stderr, "ScriptedHttpServer: connection %u dropped: %s\n", connection, e.what());
    }
    if (!stopped) channel.LingeringClose();
    fd.reset();
    std::lock_guard lock(m_mutex);
    *done = true;
}

void ScriptedHttpServer::Record(const RecordedRequest& request) {
    {
        std::lock_guard lock(m_mutex);
        m_requests.push_back(request);
    }
    m_logged.notify_all();
}

ScriptedResponse ScriptedHttpServer::NextResponse(const RecordedRequest& request) {
    std::lock_guard lock(m_mutex);
    auto it = m_scripts.find(request.target);
    if (it == m_scripts.end()) it = m_scripts.find(request.path);
    if (it == m_scripts.end()) return m_default;
    Script& script = it->second;
    size_t index = std::min(script.next, script.responses.size() - 1);
    ++script.next;
    return script.responses[index];
}

}  // namespace QuorTest
