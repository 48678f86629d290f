#pragma once
// The process's handler for fatal signals and its registration.
//
// TamrixSignalHandler writes the report (signal, process, backtrace) to the published plan's
// report path, starts the sender with the plan's arguments, says so on stderr and ends the process
// with status 255. It is async-signal-safe: it allocates nothing, takes no lock and uses only
// write(2), open(2), backtrace (loaded at registration), _Fork and execve. A second fatal signal
// while a report is under way ends the process at once, without a second report.
// InstallTamrixSignalHandlers is idempotent and thread-safe; it gives the calling thread an
// alternate signal stack, so that a stack overflow on that thread is reported too.
#include <atomic>

namespace Tamrix {

class Tamrix;

// The object whose report a caught signal sends; set when the handlers are installed.
extern std::atomic<const Tamrix*> tamrixhandler;

extern "C" void TamrixSignalHandler(int sig);
void InstallTamrixSignalHandlers();
// Gives the calling thread an alternate signal stack (kept for the life of the process).
void InstallAlternateSignalStack();

}  // namespace Tamrix
