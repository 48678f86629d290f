#include "foundation/ProcNetTcp.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <string>
#include <string_view>

#include "foundation/UniqueFd.h"

namespace Vorn::Sockets {

namespace {

constexpr size_t kMaxTableBytes = 64u << 20;
constexpr size_t kMaxLineBytes = 1024;

// The next blank-separated word of line from pos on (empty at the end).
std::string_view NextWord(std::string_view line, size_t& pos) {
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
    const size_t start = pos;
    while (pos < line.size() && line[pos] != ' ' && line[pos] != '\t') ++pos;
    return line.substr(start, pos - start);
}

template <typename T>
bool ParseWhole(std::string_view text, int base, T& value) {
    if (text.empty()) return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return error == std::errc() && end == text.data() + text.size();
}

// "0100007F:6DDE": the address as the kernel stores it (network byte order), the port in hex.
bool ParseEndpoint(std::string_view text, TcpEndpoint& endpoint) {
    const size_t colon = text.find(':');
    uint32_t stored = 0;
    uint16_t port = 0;
    if (colon != 8 || !ParseWhole(text.substr(0, colon), 16, stored) || !ParseWhole(text.substr(colon + 1), 16, port))
        return false;
    endpoint.address = ntohl(stored);
    endpoint.port = port;
    return true;
}

// One table line: "sl: local remote st tx:rx tr:when retrnsmt uid timeout inode ...".
bool ParseLine(std::string_view line, TcpEndpoint& local, TcpEndpoint& remote, TcpSocketRecord& record) {
    size_t pos = 0;
    const std::string_view slot = NextWord(line, pos);
    if (slot.empty() || slot.back() != ':') return false;
    if (!ParseEndpoint(NextWord(line, pos), local) || !ParseEndpoint(NextWord(line, pos), remote)) return false;
    if (!ParseWhole(NextWord(line, pos), 16, record.state)) return false;
    for (int skipped = 0; skipped < 3; ++skipped)
        if (NextWord(line, pos).empty()) return false;
    if (!ParseWhole(NextWord(line, pos), 10, record.uid)) return false;
    if (NextWord(line, pos).empty()) return false;
    return ParseWhole(NextWord(line, pos), 10, record.inode);
}

bool Same(const TcpEndpoint& a, const TcpEndpoint& b) { return a.address == b.address && a.port == b.port; }

}  // namespace

bool ProcNetTcpLookup(const TcpEndpoint& local, const TcpEndpoint& remote, TcpSocketRecord& record,
                      const char* table) {
    UniqueFd file(::open(table, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!file.IsValid()) return false;
    std::string line;
    bool overlong = false;
    size_t total = 0;
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::read(file.Get(), chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) break;
        total += static_cast<size_t>(got);
        for (ssize_t i = 0; i < got; ++i) {
            if (chunk[i] != '\n') {
                if (line.size() < kMaxLineBytes)
                    line.push_back(chunk[i]);
                else
                    overlong = true;
                continue;
            }
            TcpEndpoint lineLocal, lineRemote;
            TcpSocketRecord found;
            if (!overlong && ParseLine(line, lineLocal, lineRemote, found) && Same(lineLocal, local) &&
                Same(lineRemote, remote)) {
                record = found;
                return true;
            }
            line.clear();
            overlong = false;
        }
        if (total >= kMaxTableBytes) break;
    }
    errno = ENOENT;
    return false;
}

}  // namespace Vorn::Sockets
