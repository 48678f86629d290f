#include "foundation/Sockets.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "foundation/CStd/CStdFiles.h"

namespace Vorn::Sockets {

namespace {

sockaddr_in MakeAddress(DWORD address, unsigned port) {
    sockaddr_in a;
    memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(address);
    a.sin_port = htons(static_cast<uint16_t>(port & 0xFFFF));
    return a;
}

}  // namespace

int Init() { return 0; }

int DeInit() { return 1; }

Socket Create() {
    // Linux has no per-socket switch for SIGPIPE: every send passes MSG_NOSIGNAL instead.
    return ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
}

bool Connect(Socket& socket, DWORD address, unsigned port) {
    const sockaddr_in a = MakeAddress(address, port);
    return ::connect(socket, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
}

bool Bind(Socket& socket, DWORD address, unsigned port) {
    const int on = 1;
    setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in a = MakeAddress(address, port);
    return ::bind(socket, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
}

bool Listen(Socket& socket, int backlog) { return ::listen(socket, backlog) == 0; }

bool Select(Socket& socket, unsigned seconds) {
    if (socket < 0) {
        errno = EBADF;
        return false;
    }
    // poll in place of select: no limit on the descriptor's number.
    pollfd p{socket, POLLIN, 0};
    const int timeout = seconds > static_cast<unsigned>(INT_MAX / 1000) ? INT_MAX : static_cast<int>(seconds * 1000);
    const int n = ::poll(&p, 1, timeout);
    // Readable as select sees it: data, end of stream, an error, or a pending connection.
    return n > 0 && (p.revents & (POLLIN | POLLHUP | POLLERR)) != 0;
}

bool Accept(Socket& socket, Socket& newSocket) {
    int fd;
    do {
        fd = ::accept4(socket, nullptr, nullptr, SOCK_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return false;
    newSocket = fd;
    return true;
}

bool Close(Socket& socket) { return ::close(socket) == 0; }

bool IsOpen(Socket& socket) {
    if (socket == -1) return false;
    sockaddr_in peer;
    socklen_t size = sizeof peer;
    return ::getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &size) == 0;
}

bool Recv(Socket& socket, void* buffer, DWORD length, DWORD& received) {
    ssize_t n;
    do {
        n = ::recv(socket, buffer, length, 0);
    } while (n < 0 && errno == EINTR);
    if (n < 0) return false;
    received = static_cast<DWORD>(n);
    return true;
}

bool Send(Socket& socket, const void* data, DWORD length, DWORD& sent) {
    ssize_t n;
    do {
        n = ::send(socket, data, length, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    if (n < 0) return false;
    sent = static_cast<DWORD>(n);
    return true;
}

int32_t GetLastError() { return std_errno(); }

}  // namespace Vorn::Sockets
