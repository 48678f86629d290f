#pragma once
// Full path of the running program's executable file.
//
// GetExecutablePath writes the path, terminated, into buf and returns true; it returns false and
// writes nothing more than an empty string when the path cannot be read or does not fit in size
// bytes (terminator included). Safe to call from any thread.
#include <cstddef>

namespace Quor::Platform {

bool GetExecutablePath(char* buf, size_t size);

}  // namespace Quor::Platform
