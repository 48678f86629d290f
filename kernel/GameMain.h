#pragma once
// The kernel program's entry point, called by the application shell once the program has started
// (or by a plain main), on the main thread, once per process.
namespace Vorn {

// Runs the kernel with the program's arguments (argv[0] is the program). Logs the localized text
// of the result and, for a failure, shows it in a message box. 0 on success, -1 on failure.
int GameMain(int argc, const char** argv);

// Whether the kernel itself handles a quit request from the system: never, the shell decides.
bool GameHandlesQuitRequest();

}  // namespace Vorn
