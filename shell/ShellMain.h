#pragma once
// The program's entry through the shell: restores a saved mouse acceleration, installs the shell's
// forms of the kernel's user-interface services, makes SIGINT and SIGTERM quit requests, and
// finishes launching (AppDelegate): the main window, then gameMain or the launcher.
//
// Returns the process's exit status: gameMain's result, or 0 when the launcher was started in its
// place. Call once, from main.
#include "shell/AppDelegate.h"

namespace Quor::Shell {

int ShellMain(int argc, char** argv, GameMainFunction gameMain, QuitRequestFunction gameHandlesQuit);

}  // namespace Quor::Shell
