// The kernel program Orvane: the application shell carries the kernel, which runs inside its
// launch.
#include <sys/stat.h>

#include "kernel/GameMain.h"
#include "shell/ShellMain.h"

namespace {

// The process's exit status: 0 for success, 255 for failure.
int RunKernel(int argc, const char** argv) { return Vorn::GameMain(argc, argv) == 0 ? 0 : 255; }

}  // namespace

int main(int argc, char** argv) {
    // Before anything is created: what the kernel installs and then runs as its user (often root)
    // must never be writable by others, whatever mask the program was started with.
    ::umask(022);
    return Quor::Shell::ShellMain(argc, argv, RunKernel, Vorn::GameHandlesQuitRequest);
}
