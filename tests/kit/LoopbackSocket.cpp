#include "tests/kit/LoopbackSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace QuorTest {

namespace {
sockaddr_in LoopbackAddress(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

void SetError(std::string* error, const char* what) {
    if (error) *error = std::string(what) + ": " + strerror(errno);
}
}  // namespace

UniqueFd ListenLoopback(uint16_t port, std::string* error) {
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd.valid()) {
        SetError(error, "socket");
        return {};
    }
    int on = 1;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address = LoopbackAddress(port);
    if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        SetError(error, "bind");
        return {};
    }
    if (::listen(fd.get(), 128) != 0) {
        SetError(error, "listen");
        return {};
    }
    return fd;
}

uint16_t LocalPort(int fd) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
    return ntohs(address.sin_port);
}

uint16_t FreeLoopbackPort(std::string* error) {
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd.valid()) {
        SetError(error, "socket");
        return 0;
    }
    sockaddr_in address = LoopbackAddress(0);
    if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        SetError(error, "bind");
        return 0;
    }
    return LocalPort(fd.get());
}

UniqueFd ConnectLoopback(uint16_t port, std::string* error) {
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd.valid()) {
        SetError(error, "socket");
        return {};
    }
    sockaddr_in address = LoopbackAddress(port);
    int rc;
    do {
        rc = ::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        SetError(error, "connect");
        return {};
    }
    return fd;
}

}  // namespace QuorTest
