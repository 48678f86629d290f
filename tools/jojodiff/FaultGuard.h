#pragma once
// Turns SIGBUS, raised when a mapped file shrinks or its disk fails while the program reads or
// writes it, into an orderly exit: the temporary output registered here is removed and the program
// ends with the exit code registered for the mapped range that faulted (the default code for any
// other address). SIGTERM, SIGINT and SIGHUP also remove the temporary output; the program then
// ends by that signal as it would have without the handler.
//
// For single-threaded programs: ranges and the cleanup path are set before the mapped bytes are
// touched. The handlers use only async-signal-safe calls (unlink, _exit, raise). Code that creates
// or renames the temporary output holds a SignalBlock so that no signal falls between the file
// operation and the registration.
#include <signal.h>

#include <cstddef>

namespace JojoDiff::FaultGuard {

// Installs the handlers and forgets every watched range.
void Install(int defaultExitCode);
// Up to four ranges; further ones fall back to the default code. Unwatch removes a range again.
void Watch(const void* begin, size_t size, int exitCode);
void Unwatch(const void* begin);
// The file to remove when a fault ends the program; null clears it.
void SetCleanupPath(const char* path);

// Holds SIGTERM, SIGINT and SIGHUP back for its lifetime; one that arrived meanwhile is delivered
// when it dies.
class SignalBlock {
public:
    SignalBlock();
    ~SignalBlock();
    SignalBlock(const SignalBlock&) = delete;
    SignalBlock& operator=(const SignalBlock&) = delete;

private:
    sigset_t m_previous;
};

}  // namespace JojoDiff::FaultGuard
