#pragma once
// Small services of the shell for a host that draws in the main window: buffer flushes and the
// swap interval of the window's drawing context, a millisecond clock, the raw keyboard mode
// (key events straight to the key callback) and the current-folder text. Main thread only, except
// GetMilliseconds (any thread).
#include <cstdint>

namespace Quor::Shell {

// Without a drawing context the flush does nothing.
void GLFlushBuffer();
// Swap interval 1 when on, 0 when off; nothing without a main window.
void GLSetSwapInterval(bool on);
// Monotonic milliseconds.
uint64_t GetMilliseconds();
void SetRawKeyboardMode(bool on);
bool IsRawKeyboardMode();
// Writes "./" into buffer (at least 3 bytes) and returns it.
char* GetCurrentFolderText(char* buffer);

}  // namespace Quor::Shell
