#pragma once
// Runs a shell command line for a test (posix_spawn of /bin/sh -c, waited for), so that tests can
// cross-check files with outside tools such as xz or python3.
// RunCommand returns the exit status (0..255), or -1 when the shell could not be started or the
// command was ended by a signal. HasCommand tells whether a program is found on PATH.
// StartQuiet starts a program (posix_spawn, no shell) with its output discarded and answers its
// id (-1 when it could not be started); WaitForChild reaps it and answers the raw wait status.
// Thread-compatible; the child inherits the test's environment and working folder.
#include <sys/types.h>

#include <string>
#include <vector>

namespace QuorTest {

int RunCommand(const std::string& commandLine);
bool HasCommand(const std::string& program);
// Quotes a text for /bin/sh as one word.
std::string ShellQuote(const std::string& text);

pid_t StartQuiet(const std::string& program, const std::vector<std::string>& arguments);
int WaitForChild(pid_t pid);

}  // namespace QuorTest
