#pragma once
// Copy of one regular file with its metadata.
//
// CopyFileWithMetadata copies the bytes of the regular file `from` over `to` (created when
// missing) and gives the copy the permission bits, the owner (where the process may set it) and
// the access and modification times of the source. It returns true on success; on failure it
// returns false with errno set, and removes a partial copy it made. A source that is not a
// regular file, or a target that is the source itself, is refused (EINVAL) without touching
// either file. Safe to call from any thread.
// CopyOpenFileWithMetadata does the same between two open descriptors (from readable, to
// writable), which the caller opened as it sees fit and still owns: the target is emptied and
// rewritten; a partial copy is left to the caller.

namespace Quor::Platform {

bool CopyFileWithMetadata(const char* from, const char* to);
bool CopyOpenFileWithMetadata(int from, int to);

}  // namespace Quor::Platform
