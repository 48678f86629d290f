#pragma once
// Result and record types of the process helpers (Process.h).
#include <cstdint>

namespace Vorn {

// Process id as the helpers pass it; 0 means none.
typedef uint32_t ProcessId;

// Exit status of a started program: its exit code, 128 + the signal number when a signal ended
// it (so that no killed program reads as a success), -1 until known.
typedef int32_t ProcessExitCode;

namespace ProcessWaitResult {
enum Enum {
    // processWaitPid only: a wait without limit that failed.
    WaitFailed = 0,
    InvalidHandle = 1,
    TimedOut = 2,
    Exited = 3,
};
}  // namespace ProcessWaitResult

namespace GetExitCodeResult {
enum Enum {
    Ok = 0,
    InvalidHandle = 1,
    StillRunning = 2,
};
}  // namespace GetExitCodeResult

// One entry of the process table (processGetTable, processEnumerate).
struct ProcessRecord {
    ProcessId pid;
};

}  // namespace Vorn
