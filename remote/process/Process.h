#pragma once
// Process helpers: start programs, wait for them, read their exit codes, and find, list and end
// running processes.
//
// Programs start with posix_spawn. A started program gets this process's environment plus
// "vorn_launched" = "true" when that key is absent. Every started program is collected by the
// helpers when it ends, whether or not anyone waits for it, and its exit code stays readable
// through its handle (see ChildProcess.h).
//
// Failures are reported by the results (false, 0, an errno value or an enum value); nothing is
// logged. Time-outs are milliseconds; 0xFFFFFFFF waits without limit. The process table is read
// afresh by every call (platform/ProcessTable.h). All functions may be called from any thread; a
// handle is used by one thread at a time.
#include <cstdint>

#include "foundation/CStd/CStdTypes.h"
#include "remote/process/AutoProcessHandle.h"
#include "remote/process/ProcessTypes.h"

namespace Vorn {

// What processCreate gives back: the program's handle and process id.
struct ProcessLaunchRecord {
    AutoProcessHandle handle;
    ProcessId pid = 0;
};

// --- the process table ---
// The table as one block from std_malloc (free it with std_free) and its record count; 0 or an
// errno value (ENOMEM when the block cannot be allocated), *table null on failure.
int processGetTable(ProcessRecord** table, uint32_t* count);
// Copies min(maximum, table size) records into records and stores that number in count.
int processEnumerate(ProcessRecord* records, uint32_t* count, uint32_t maximum);

// --- paths ---
// Executable path of pid into buffer (cut to fit size bytes); false for size 0, a null buffer or a
// process that is not listed or cannot be read.
bool processGetPath(ProcessId pid, uint_size size, char* buffer);
ProcessId processGetCurrentId();
bool processGetModuleFullPath(uint_size size, char* buffer);
// File name with extension of this program's executable.
bool processGetModuleFileName(uint_size size, char* buffer);
// Folder of this program's executable, canonical; for a program inside an application bundle
// (".../X.app/Contents/MacOS/") the folder that holds the bundle. buffer holds at least 1024 bytes.
bool processGetModuleDirectory(uint_size size, char* buffer);

// False when path cannot be examined; true when read and execute are already allowed for owner,
// group and others (0555); else whether adding them succeeded.
bool MakeFileExecutable(const char* path);

// --- starting and handling started programs ---
// Starts path (or, when path is null, arguments[0]) in folder (null: this process's working
// folder). The program's argv is the path followed by all count arguments, in order (so without a
// path, arguments[0] appears twice). A file lacking any of the bits 0555 gets them first. On
// success record (when given) receives the handle and process id, also when the program has
// already ended; on failure it is left untouched.
bool processCreate(const char* path, const char* folder, int count, const char* const* arguments,
                   ProcessLaunchRecord* record);
// As processCreate, with the program's standard input, output and error on /dev/null.
bool processCreateSilent(const char* path, const char* folder, int count, const char* const* arguments,
                         ProcessLaunchRecord* record);
bool processIsRunning(const AutoProcessHandle& handle);
ProcessId processGetId(const AutoProcessHandle& handle);
// Asks the program to end (SIGTERM); false only for an empty handle.
bool processTerminate(const AutoProcessHandle& handle);
// Ends the process at once (SIGKILL); false when there is no such process.
bool processForceTerminate(ProcessId pid);
bool processExists(ProcessId pid);
// First process whose executable lies in the bundle's "Contents/MacOS/" folder; 0 when the bundle
// is not a folder or nothing of it runs.
ProcessId processFindByBundle(const char* bundlePath);
// Empty handle: InvalidHandle. 0: TimedOut at once. Otherwise Exited once the program has ended,
// TimedOut when the time ran out first.
ProcessWaitResult::Enum processWait(const AutoProcessHandle& handle, uint32_t timeoutMs);
// As processWait for any pid: a program started here is waited for through its handle's record; a
// program started here that has already been collected counts as Exited; a process that is not a
// child is waited for until it is gone (also without limit). WaitFailed only when an unlimited
// wait fails otherwise. pid 0 is InvalidHandle.
ProcessWaitResult::Enum processWaitPid(ProcessId pid, uint32_t timeoutMs);
// code = -1; empty handle: InvalidHandle; running: StillRunning; else the exit code and Ok.
GetExitCodeResult::Enum processGetExitCode(const AutoProcessHandle& handle, ProcessExitCode& code);
// Ends (SIGKILL) every process whose executable path equals path, or whose file name equals it
// with or without its extension; this process is skipped when spareSelf is set. True when at
// least one process matched and was not skipped.
bool processTerminateAllByPath(const char* path, bool spareSelf);

}  // namespace Vorn

// Whether the volume holding folder distinguishes names by case alone (platform/VolumeProperties.h:
// false on Linux unless a test set the answer).
bool IsVolumeCaseSensitive(const char* folder);
