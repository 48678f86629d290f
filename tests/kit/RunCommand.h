#pragma once
// Runs a shell command line for a test (posix_spawn of /bin/sh -c, waited for), so that tests can
// cross-check files with outside tools such as xz or python3.
// RunCommand returns the exit status (0..255), or -1 when the shell could not be started or the
// command was ended by a signal. HasCommand tells whether a program is found on PATH.
// Thread-compatible; the child inherits the test's environment and working folder.
#include <string>

namespace QuorTest {

int RunCommand(const std::string& commandLine);
bool HasCommand(const std::string& program);
// Quotes a text for /bin/sh as one word.
std::string ShellQuote(const std::string& text);

}  // namespace QuorTest
