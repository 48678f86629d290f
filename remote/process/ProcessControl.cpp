#include <signal.h>
#include <sys/wait.h>

#include <cerrno>
#include <climits>

#include "foundation/CStd/CStd.h"
#include "remote/process/ChildProcess.h"
#include "remote/process/Process.h"

namespace Vorn {

namespace {

constexpr uint32_t kNoLimit = 0xFFFFFFFFu;

bool ValidPid(ProcessId pid) { return pid != 0 && pid <= static_cast<ProcessId>(INT_MAX); }

ProcessExitCode ExitCodeOf(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

// A process that is not this one's child: it is there while kill(pid, 0) finds it.
bool Exists(pid_t pid) { return kill(pid, 0) == 0 || errno == EPERM; }

}  // namespace

bool processIsRunning(const AutoProcessHandle& handle) {
    ChildProcess* child = handle.Child();
    return child && !child->HasExited();
}

ProcessId processGetId(const AutoProcessHandle& handle) {
    ChildProcess* child = handle.Child();
    return child ? static_cast<ProcessId>(child->Pid()) : 0;
}

bool processTerminate(const AutoProcessHandle& handle) {
    ChildProcess* child = handle.Child();
    if (!child) return false;
    child->Signal(SIGTERM);
    return true;
}

bool processForceTerminate(ProcessId pid) {
    if (!ValidPid(pid)) return false;
    if (auto child = ChildProcess::Find(static_cast<pid_t>(pid))) return child->Signal(SIGKILL);
    return kill(static_cast<pid_t>(pid), SIGKILL) == 0;
}

bool processExists(ProcessId pid) {
    if (!ValidPid(pid)) return false;
    if (auto child = ChildProcess::Find(static_cast<pid_t>(pid))) return !child->HasExited();
    return Exists(static_cast<pid_t>(pid));
}

ProcessWaitResult::Enum processWait(const AutoProcessHandle& handle, uint32_t timeoutMs) {
    ChildProcess* child = handle.Child();
    if (!child) return ProcessWaitResult::InvalidHandle;
    if (timeoutMs == 0) return ProcessWaitResult::TimedOut;
    return child->WaitForExit(timeoutMs) ? ProcessWaitResult::Exited : ProcessWaitResult::TimedOut;
}

ProcessWaitResult::Enum processWaitPid(ProcessId pid, uint32_t timeoutMs) {
    if (!ValidPid(pid)) return ProcessWaitResult::InvalidHandle;
    const pid_t id = static_cast<pid_t>(pid);
    if (auto child = ChildProcess::Find(id)) {
        if (timeoutMs == 0) return ProcessWaitResult::TimedOut;
        return child->WaitForExit(timeoutMs) ? ProcessWaitResult::Exited : ProcessWaitResult::TimedOut;
    }
    if (timeoutMs == kNoLimit) {
        pid_t r;
        do {
            r = waitpid(id, nullptr, 0);
        } while (r < 0 && errno == EINTR);
        if (r == id) return ProcessWaitResult::Exited;
        // A program started here that has already been collected (a short-lived one), or a
        // process that is not a child: it has ended once it is gone.
        if (r >= 0 || errno != ECHILD) return ProcessWaitResult::WaitFailed;
    }
    const uint32_t step = timeoutMs < 1000 ? timeoutMs : 1000;
    for (uint64_t elapsed = 0;; elapsed += step) {
        if (timeoutMs != kNoLimit && elapsed >= timeoutMs) return ProcessWaitResult::TimedOut;
        const pid_t r = waitpid(id, nullptr, WNOHANG);
        if (r == id) return ProcessWaitResult::Exited;
        // Not a child of this process: it has ended once it is gone from the system.
        if (r < 0 && (errno != ECHILD || !Exists(id))) return ProcessWaitResult::Exited;
        std_sleep(step);
    }
}

GetExitCodeResult::Enum processGetExitCode(const AutoProcessHandle& handle, ProcessExitCode& code) {
    code = -1;
    ChildProcess* child = handle.Child();
    if (!child) return GetExitCodeResult::InvalidHandle;
    int status = 0;
    if (!child->WaitStatus(status)) return GetExitCodeResult::StillRunning;
    code = ExitCodeOf(status);
    return GetExitCodeResult::Ok;
}

}  // namespace Vorn
