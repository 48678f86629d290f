// quor-kernel-host: a test-kit program that runs the kernel's request server with its real
// handlers until a Terminate request or SIGTERM/SIGINT, for tests that start or kill a kernel
// process. Port and instance come from ORVANE_PORT and ORVANE_INSTANCE; the working folder is the
// install tree's system folder, as for the kernel. Prints "ready" on stdout once it serves.
// Exit status: 0 after an orderly stop, 1 when the server could not start.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <thread>

#include "common/ThreadPool.h"
#include "foundation/WaitResult.h"
#include "kernel/KernelThread.h"

int main() {
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);  // every thread started from here on too

    std::atomic<bool> signalled{false};
    std::thread waiter([&] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        signalled.store(true);
    });

    HRESULT hr = S_OK;
    {
        auto pool = Quor::Common::ThreadPool::CreatePool(0, 0);
        Quor::Orvane::KernelThread server(pool, hr);
        if (SUCCEEDED(hr)) {
            std::printf("ready\n");
            std::fflush(stdout);
            while (!signalled.load() && Vorn::threadJoin(server.GetThread(), 100) == Vorn::WAIT_TIMEOUT) {
            }
        } else {
            std::fprintf(stderr, "quor-kernel-host: the request server did not start (0x%08x)\n",
                         static_cast<unsigned>(hr));
        }
    }
    if (!signalled.load()) kill(getpid(), SIGTERM);  // releases the waiter
    waiter.join();
    return SUCCEEDED(hr) ? 0 : 1;
}
