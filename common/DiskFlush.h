#pragma once
// Making written files last a power cut: a file's bytes, the entries of a folder that files
// were renamed into, and everything written to one file system.
//
// StartFlushToDisk asks the system to start writing a file's bytes out and returns at once (best
// effort, nothing reported), so that work done meanwhile overlaps the writing and a later
// FlushFileToDisk finds less left to wait for. FlushFileToDisk opens the file as an input (regular files only, never through a symbolic link
// in the install tree) and flushes its data; FlushFolderToDisk opens the folder itself (not a
// link standing in its place) and flushes its entries. FlushFileSystemToDisk flushes every file
// and folder of the file system that holds the folder, in one pass (syncfs), and reports the
// writeback errors the system kept for it. All three log a failure at ERROR with the path
// and the system's text and return E_FAIL; S_OK otherwise. Thread-safe, no state.
#include <string>

#include "foundation/Types.h"

namespace Quor::Common {

void StartFlushToDisk(const std::string& path);
HRESULT FlushFileToDisk(const std::string& path);
HRESULT FlushFolderToDisk(const std::string& folder);
HRESULT FlushFileSystemToDisk(const std::string& folder);

}  // namespace Quor::Common
