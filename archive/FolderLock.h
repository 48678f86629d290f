#pragma once
// FolderLock: one writer at a time in an archive folder, across processes (the kernel, the
// installer, the client library and quor-archive share the folders). The lock is an exclusive
// flock on the lock file "archive.lock" inside the folder, held only while a writer changes the
// folder (tidying at load, its queued changes through their commit); readers never take it. The
// file itself stays (it also marks the folder as an archive folder).
//
// Acquire waits up to the time given for a lock another writer holds; TryAcquire does not wait
// and takes a busy folder for no failure (it logs nothing then). The lock file is opened without
// following a link and must be a regular file. The lock ends with Release, the object or the
// process. Not thread-safe; one object per writer.
#include <chrono>
#include <string>

#include "foundation/UniqueFd.h"

namespace Quor::FileSystem::Impl {

class FolderLock {
public:
    static constexpr const char* kFileName = "archive.lock";

    enum class Result {
        kLocked,  // held by this object
        kBusy,    // another writer held it for the whole wait
        kFailed,  // the lock file could not be created or opened (logged)
    };

    Result Acquire(const std::string& folder, std::chrono::milliseconds wait);
    Result TryAcquire(const std::string& folder);
    void Release() { m_Fd.Reset(); }
    bool IsHeld() const { return m_Fd.IsValid(); }
    // Whether the lock file was already there when Acquire opened it.
    bool FileExisted() const { return m_FileExisted; }

private:
    Result Take(const std::string& folder, std::chrono::milliseconds wait, bool logBusy);

    Vorn::UniqueFd m_Fd;
    bool m_FileExisted = false;
};

// Whether folder is an archive folder: it holds the lock file, an index of this format or an
// index set aside as damaged. Reads the folder only.
bool IsArchiveFolder(const std::string& folder);

}  // namespace Quor::FileSystem::Impl
