#pragma once
// Whether a kernel program started by a test serves requests yet: the kernel takes its semaphore
// before it listens, so the semaphore alone does not say that requests are taken. Polls for at
// most a minute. Not thread-safe (one client at a time).
#include <chrono>
#include <cstdint>
#include <thread>

#include "kernel/SingleInstance.h"
#include "kernel/testing/KernelClient.h"
#include "tests/kit/orvane/OrvaneRun.h"

namespace OrvaneTest {

// The kernel on port answers a request.
inline bool Answers(uint16_t port) {
    QuorTest::KernelClient client(port);
    if (!client.Connected() || !client.Request([](auto& kernel) { kernel.EnumerateInstalledProjectsRequest(0, 5); }))
        return false;
    auto answer = client.Answer();
    return answer && answer->operation == "EnumerateInstalledProjectsResponse" && answer->hr == S_OK;
}

// Waits until a kernel serves on the test's port (or the run ended).
inline bool WaitServing(QuorTest::OrvaneRun& run, uint16_t port) {
    for (int i = 0; i < 6000 && run.Running(); ++i) {
        if (Quor::Orvane::IsKernelRunning() && Answers(port)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

}  // namespace OrvaneTest
