#pragma once
// Test helpers for programs that run from an application bundle (a plain folder
// X.app/Contents/MacOS/program with the crash reporter framework in Contents/Frameworks).
// Failures fail the current test (ADD_FAILURE). Thread-compatible.
#include <string>

namespace QuorTest {

// Copies program to {bundle}/Contents/MacOS/{name} and, when framework is not empty, that file to
// {bundle}/Contents/Frameworks/Tamrix.framework/Versions/A/Tamrix. Returns the program's new path.
std::string InstallInBundle(const std::string& bundle, const std::string& program, const std::string& name,
                            const std::string& framework);

// Writes an executable /bin/sh script (parent folders made).
void WriteScript(const std::string& path, const std::string& body);

// Waits up to a minute for a file that another process writes last (by a rename); true when it
// appeared.
bool WaitForFile(const std::string& path);

}  // namespace QuorTest
