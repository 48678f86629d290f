#pragma once
// SIGINT and SIGTERM as the system's quit request. The signal handler only writes the signal's
// number to a pipe; a thread of the shell's own reads it and asks the application's delegate
// (AppDelegate::ApplicationShouldTerminate): the running flag clears, so the next event pump
// answers 0 once, and while the main window is not on screen (as while the kernel runs its
// command) the process ends at once, reported as ended by that signal. Either way the platform's
// quit request (platform/QuitRequest.h) is raised first, for the work that watches it.
//
// StartQuitRequestWatch installs the handlers and starts the thread once per process; later
// calls do nothing. The thread lives until the process ends.
namespace Quor::Shell {

void StartQuitRequestWatch();
// What the watch does with one request.
void HandleQuitRequest(int signal);

}  // namespace Quor::Shell
