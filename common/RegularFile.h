#pragma once
// Opening a file that is read as input (an index, a manifest, a journal, a source to copy).
//
// Only a regular file is opened: the open never blocks (a FIFO or a device that stands where an
// input is expected fails at once instead of hanging the reader), the file opened is checked with
// fstat (so a name swapped after a check cannot slip something else in), and a file larger than
// maxSize (the most the format can hold) is refused before anything is read or allocated. A file
// of the install tree is never reached through a symbolic link (TreePath.h). As
// everywhere in the runtime, "\" in a path stands for "/".
// Failures: an invalid descriptor or a null stream, with errno set: EINVAL when the file is not a
// regular file, EFBIG when it is larger than maxSize, else the system's error. Thread-safe.
#include <cstdint>
#include <cstdio>
#include <string>

#include "foundation/UniqueFd.h"

namespace Quor::Common {

constexpr uint64_t kAnySize = UINT64_MAX;

Vorn::UniqueFd OpenRegularFile(const std::string& path, uint64_t maxSize = kAnySize);
// The same as a read-only stream (mode "rb" or "rt").
FILE* OpenRegularFileStream(const std::string& path, uint64_t maxSize = kAnySize);
// A short text for an errno set by the two functions above ("not a regular file", ...).
std::string RegularFileErrorText(int error);

}  // namespace Quor::Common
