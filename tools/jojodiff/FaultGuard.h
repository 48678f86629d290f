#pragma once
// Turns SIGBUS, raised when a mapped file shrinks or its disk fails while the program reads or
// writes it, into an orderly exit: the temporary output registered here is removed and the program
// ends with the exit code registered for the mapped range that faulted (the default code for any
// other address).
//
// For single-threaded programs: ranges and the cleanup path are set before the mapped bytes are
// touched. The handler uses only async-signal-safe calls (unlink, _exit).
#include <cstddef>

namespace JojoDiff::FaultGuard {

// Installs the handler and forgets every watched range.
void Install(int defaultExitCode);
// Up to four ranges; further ones fall back to the default code. Unwatch removes a range again.
void Watch(const void* begin, size_t size, int exitCode);
void Unwatch(const void* begin);
// The file to remove when a fault ends the program; null clears it.
void SetCleanupPath(const char* path);

}  // namespace JojoDiff::FaultGuard
