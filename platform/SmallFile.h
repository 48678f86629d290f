#pragma once
// Reading a small settings or text file whole.
//
// ReadSmallRegularFile reads the regular file at path into bytes. It never blocks on a FIFO or a
// device (non-blocking open, fstat of the opened file) and refuses a file larger than limit before
// reading. Returns false (bytes empty) when the file is missing, not regular, too large or
// unreadable. Thread-safe.
#include <cstddef>
#include <string>

namespace Quor::Platform {

bool ReadSmallRegularFile(const std::string& path, size_t limit, std::string& bytes);

}  // namespace Quor::Platform
