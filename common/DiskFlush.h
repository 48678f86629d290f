#pragma once
// Making written files last a power cut: everything written to one file system.
//
// StartFlushToDisk asks the system to start writing a file's bytes out and returns at once (best
// effort, nothing reported), so that work done meanwhile overlaps the writing and a later flush
// finds less left to wait for. FlushFileSystemToDisk opens the folder itself (not a link standing
// in its place) and flushes every file and folder of the file system that holds it, in one pass
// (syncfs), reporting the writeback errors the system kept for it; a failure is logged at ERROR
// with the path and the system's text and returns E_FAIL; S_OK otherwise. Thread-safe, no state.
#include <string>

#include "foundation/Types.h"

namespace Quor::Common {

void StartFlushToDisk(const std::string& path);
HRESULT FlushFileSystemToDisk(const std::string& folder);

}  // namespace Quor::Common
