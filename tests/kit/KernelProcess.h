#pragma once
// Test helper: one kernel host process (a program that prints "ready" on its standard output once
// it serves), started with posix_spawn in a working folder of the test's choosing and with the
// test's environment (ORVANE_PORT, ORVANE_INSTANCE). Killed with SIGKILL and reaped when the object
// dies. Not thread-safe.
#include <sys/types.h>

#include <string>

namespace QuorTest {

class KernelProcess {
public:
    KernelProcess(const std::string& program, const std::string& folder);
    ~KernelProcess();
    KernelProcess(const KernelProcess&) = delete;
    KernelProcess& operator=(const KernelProcess&) = delete;

    // True once the host printed "ready" (false after 20 s of silence or when it ended).
    bool WaitReady();
    void Signal(int signal);
    // Waits for the end: the exit status, or -1 when it ended by a signal.
    int Wait();

private:
    pid_t m_Pid = -1;
    int m_Out = -1;
};

}  // namespace QuorTest
