#pragma once
// Test helper: a request server of the test's own, on a loopback port that was free a moment ago
// (retried on a collision), with the kernel's request handlers on a scripted engine (or a handler
// factory of the test's choosing). Call UseOwnInstance() first in every test process, so that its
// semaphores never meet those of a kernel running beside it. Not thread-safe.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>

#include "common/ThreadPool.h"
#include "kernel/KernelThread.h"
#include "kernel/ToOrvaneImpl.h"

namespace QuorTest {

// A suffix no other process uses, also after process ids come round again.
inline void UseOwnInstance() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const std::string suffix = "_test" + std::to_string(::getpid()) + "_" +
                               std::to_string(static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
    ::setenv("ORVANE_INSTANCE", suffix.c_str(), 1);
}

inline uint16_t PickLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    uint16_t port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    if (fd >= 0) ::close(fd);
    return port;
}

struct TestKernel {
    std::shared_ptr<Quor::Common::ThreadPool::IPool> pool = Quor::Common::ThreadPool::CreatePool(0, 0);
    std::unique_ptr<Quor::Orvane::KernelThread> server;
    uint16_t port = 0;
    HRESULT hr = E_FAIL;

    // The kernel's handlers on `engine` (empty: the build's engine), with `libraryFolder`.
    static Quor::Orvane::KernelThreadOptions Handlers(std::shared_ptr<Quor::Orvane::Engine> engine,
                                                      std::string libraryFolder = "") {
        Quor::Orvane::KernelThreadOptions options;
        options.makeHandler = [engine, libraryFolder](Quor::Orvane::KernelThread& owner,
                                                      Quor::OrvaneProtocol::ISendPacket& transport) {
            Quor::Orvane::ToOrvaneImpl::Options handlerOptions{engine, libraryFolder};
            return std::make_unique<Quor::Orvane::ToOrvaneImpl>(owner, transport, handlerOptions);
        };
        return options;
    }

    explicit TestKernel(Quor::Orvane::KernelThreadOptions options) {
        for (int attempt = 0; attempt < 5 && FAILED(hr); ++attempt) {
            server.reset();
            options.port = port = PickLoopbackPort();
            server = std::make_unique<Quor::Orvane::KernelThread>(pool, options, hr);
        }
    }
};

}  // namespace QuorTest
