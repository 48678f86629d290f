#pragma once
// Assertion report: the text that names a broken precondition, and the process-wide handler that
// receives it.
//
// AssertionFailed formats the report and hands it to the installed handler, then returns: the
// caller stops the program itself. With no handler installed the text is formed and dropped.
// The handler is created on first use (thread-safe) and lives until exit. It is read and replaced
// without a lock: a program installs its handler before any check can fail.
#include <functional>
#include <string>

namespace Vorn {

using AssertionHandler = std::function<void(std::string)>;

// description may be null or empty; then the report has no description line.
void AssertionFailed(const char* expression, const char* description, const char* file, int line,
                     const char* function);

// Builds the report into out (replacing its content):
// "Assertion failed!\n\nFile: F\nLine: N\n\nFunction: G\n\nExpression: E" and, when the
// description is neither null nor empty, "\n\nDescription: D". No newline at the end.
void FormatAssertionMessage(std::string& out, const char* expression, const char* file, int line,
                            const char* function, const char* description);

AssertionHandler& GetAssertionHandler();
// An empty function removes the handler.
void SetAssertionHandler(const AssertionHandler& handler);
// Calls the handler with text when one is installed; otherwise does nothing.
void CallAssertionHandler(std::string text);

}  // namespace Vorn
