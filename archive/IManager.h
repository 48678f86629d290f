#pragma once
// Quor::FileSystem::IManager: the archive pairs of one folder, as the rest of the system sees
// them. Callers name a pair by its data file's name (index file name + ".dat"), as Find reports
// it, relative to the manager's root folder.
//
// Failures are reported as false, an empty result or handle 0, with one log line; nothing throws
// except allocation failures. No lock: one thread at a time per manager. Handles given out by
// OpenFileHandle keep the pair from being rewritten until CloseFileHandle.
#include <cstdint>
#include <string>
#include <vector>

#include "common/AutoUpdateProgress.h"
#include "foundation/UniqueFd.h"

namespace Quor::FileSystem {

class IManager {
public:
    virtual ~IManager() = default;

    // Queues a file for storing under path; diskPath null: the path itself is the disk file.
    virtual bool Add(const std::string& path, const std::string* diskPath, User::AutoUpdateProgress* progress) = 0;
    // Queues the removal of a stored file.
    virtual bool Delete(const std::string& path, User::AutoUpdateProgress* progress) = 0;
    // The data file name, data offset and size of a stored file.
    virtual bool Find(const std::string& path, std::string& archiveName, uint32_t& offset, uint32_t& size) = 0;
    virtual uint32_t OpenFileHandle(const std::string& archiveName) = 0;
    virtual bool CloseFileHandle(const std::string& archiveName, uint32_t handle) = 0;
    virtual std::string GetRootDirectory() const = 0;
    virtual bool SetRootDirectory(const std::string& rootDirectory, const std::string& namePrefix) = 0;
    // Rewrites every changed pair (every pair when force is set).
    virtual bool WriteArchiveFiles(bool force, User::AutoUpdateProgress* progress) = 0;
    virtual bool IsArchiveUpToDate(std::string& archiveName) = 0;
    virtual bool FlushArchive(std::string& archiveName, bool force, User::AutoUpdateProgress* progress) = 0;
    // Appends the stored paths of every pair.
    virtual void GetContents(std::vector<std::string>& contents) const = 0;
    // Drops every queued addition and deletion: each pair is again what its files on disk hold.
    // Handles stay open.
    virtual void DiscardChanges() = 0;
    // Stores a file of `size` bytes under path by writing it straight into the archive. Begin gives
    // a descriptor of the caller's own, positioned where the bytes go, that the caller writes
    // exactly `size` bytes to and stops writing at End; it is invalid when the file is not taken
    // that way: without a word when Add would refuse it (Add then says why), with an ERROR line
    // when the archive could not prepare for it. End with keep queues the file as Add does (false,
    // with one ERROR line saying what and where, when it was not exactly `size` bytes or cannot be
    // kept); without keep it drops what was written. A file that is not kept leaves no trace.
    // Until the next rewrite commits, the bytes are seen by no reader; a crash leaves the archive
    // as it was, and DiscardChanges drops the file (the descriptor then reaches only a removed
    // file). One such file at a time.
    // `where` (optional) receives the file the bytes go to, for messages. `failed` (optional) is set
    // when the file is not taken because the archive cannot be changed at all now (its writer lock
    // was not had, logged): Add would fail the same way, after waiting again, so the caller should
    // not turn to it.
    // `begun` (optional) receives a number of this begin alone; given to End, it ends only this
    // begin: an End of a begin that DiscardChanges already dropped then touches no later begin of
    // the same path and, without keep, says nothing (the file is gone already).
    virtual Vorn::UniqueFd BeginAddInPlace(const std::string& path, uint64_t size, std::string* where = nullptr,
                                           bool* failed = nullptr, uint64_t* begun = nullptr) = 0;
    virtual bool EndAddInPlace(const std::string& path, bool keep, User::AutoUpdateProgress* progress,
                               uint64_t begun = 0) = 0;
};

}  // namespace Quor::FileSystem
