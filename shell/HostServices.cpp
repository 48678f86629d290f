#include "shell/HostServices.h"

#include "platform/MonotonicClock.h"
#include "shell/ShellState.h"

namespace Quor::Shell {

void GLFlushBuffer() {}

void GLSetSwapInterval(bool on) {
    if (Platform::Window* window = GetMainWindow()) window->swapInterval = on ? 1 : 0;
}

uint64_t GetMilliseconds() { return Platform::MonotonicNanoseconds() / 1000000u; }

void SetRawKeyboardMode(bool on) { Shell().rawKeyboard = on; }
bool IsRawKeyboardMode() { return Shell().rawKeyboard; }

char* GetCurrentFolderText(char* buffer) {
    buffer[0] = '.';
    buffer[1] = '/';
    buffer[2] = '\0';
    return buffer;
}

}  // namespace Quor::Shell
