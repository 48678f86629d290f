#pragma once
// Test kit: one run of the kernel program as a child process, started (posix_spawn) in
// {root}/system with the given arguments and this process's environment plus vorn_launched=true
// and the given extra variables (ORVANE_PORT and ORVANE_INSTANCE come from the test's own
// environment: set them first). Unless the extra variables script them (ORVANE_ANSWERS), the
// kernel's questions are answered "Cancel", so that a test's kernel never ends kernels it did not
// start (other programs' kernels on the same machine). Standard output and error go to files of the run, readable at
// any time. A run still going when the object dies is killed (SIGKILL) and reaped.
// Not thread-safe.
#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/kit/TempDir.h"

namespace QuorTest {

class OrvaneRoot;

class OrvaneRun {
public:
    using Environment = std::vector<std::pair<std::string, std::string>>;

    OrvaneRun(const OrvaneRoot& root, const std::vector<std::string>& arguments, const Environment& extra = {});
    // Any program in any folder (a copy of the kernel elsewhere, for instance).
    OrvaneRun(const std::string& program, const std::string& folder, const std::vector<std::string>& arguments,
              const Environment& extra = {});
    ~OrvaneRun();
    OrvaneRun(const OrvaneRun&) = delete;
    OrvaneRun& operator=(const OrvaneRun&) = delete;

    bool started() const { return m_pid > 0; }
    pid_t pid() const { return m_pid; }
    // The exit status once the program ended; -1 when it ended by a signal, or (after killing it)
    // when it did not end within `seconds`.
    int Wait(int seconds = 120);
    bool Running();
    std::string Stdout() const;
    std::string Stderr() const;

private:
    void Start(const std::string& program, const std::string& folder, const std::vector<std::string>& arguments,
               const Environment& extra);

    TempDir m_output{"orvanerun"};
    pid_t m_pid = -1;
    int m_status = -1;
};

// Runs the kernel to its end: its exit status (as Wait).
int RunOrvane(const OrvaneRoot& root, const std::vector<std::string>& arguments,
              const OrvaneRun::Environment& extra = {}, std::string* stderrText = nullptr);

// Waits until no process whose executable is named `name` runs (an update chain has settled);
// false after `seconds`.
bool WaitForNoProcess(const std::string& name, int seconds = 60);
// Waits until no process whose executable lies below folder runs; false after `seconds`.
bool WaitForNoProcessBelow(const std::string& folder, int seconds = 60);
// Kills (SIGKILL) every process whose executable lies below folder; how many there were.
unsigned KillProcessesBelow(const std::string& folder);

}  // namespace QuorTest
