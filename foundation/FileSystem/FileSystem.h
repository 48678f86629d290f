#pragma once
// Path and directory functions of Vorn::FileSystem beside the File object.
//
// All are thread-safe (they keep no state). Times are seconds since 1970 (UTC), as the system's
// clock reports the current time. Symbolic links are listed as files, never as folders.
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/Types.h"

namespace Vorn::FileSystem {

struct FindFileResult {
    std::string name;  // the entry name, without folder
    bool isDirectory = false;
};

// Creates the file empty (or empties it) and closes it at once; true when it could be opened.
bool CreateAndCloseFile(const char* path);

// The file's creation time (its birth time where the file system keeps one, else the time of its
// last modification) and its last modification time. False when the file cannot be examined;
// time is then unchanged.
bool GetFileCreatedTimeUTC(const char* path, uint64_t& time);
bool GetFileModifiedTimeUTC(const char* path, uint64_t& time);

// Appends the entries of one folder whose names match a wildcard, in directory order. A pattern
// of at least 3 characters that holds a '/' names the folder before its last '/' and the
// wildcard after it; any other pattern is a wildcard for "./". Matching
// ignores case, and "*.*" matches every name. "." and ".." are listed when they match. False only
// when the folder cannot be opened.
bool FindFiles(const char* pattern, std::vector<FindFileResult>& results);

// Resolves path (which must exist) to an absolute path without symbolic links, "." or "..".
// Answers 0 when it cannot be resolved, otherwise its length plus 1 for the terminator; the path
// is copied into buffer only when that length is at most bufferSize (ask with 0 for the size).
unsigned GetAbsolutePath(const char* path, char* buffer, unsigned bufferSize);

}  // namespace Vorn::FileSystem
