#pragma once
// The failure messages of jdiff and jpatch: one line on stderr naming the program, what failed,
// the file it failed on and why. Fail prints and hands back the exit code, so that a failure
// reads `return Fail(...)`. Thread-safe as stdio is.
namespace JojoDiff {

// "<program>: <what> <path>: <reason>" (path and reason left out when null or empty).
int Fail(const char* program, int exitCode, const char* what, const char* path, const char* reason);

}  // namespace JojoDiff
