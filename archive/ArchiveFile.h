#pragma once
// ArchiveFile: one archive pair (FileFormat.h) in memory: the index as last read from disk, plus
// the additions and deletions queued since; lookups run against the index read, queued changes
// take effect when the pair is rewritten.
//
// - State: "constructed" (not read), "current" (read, nothing queued: searchable), "changed"
//   (changes queued: not searchable until rewritten). A rewrite builds a complete new pair beside
//   the old one and puts it in place through PairCommit, so that a crash leaves the old pair or
//   the new one; afterwards the pair is read again and is searchable at once.
// - A rewrite is refused while a reader's handle is held ("Files in the archive are still
//   locked."); the queued changes are then kept for a later rewrite. A failed rewrite leaves the
//   old pair on disk and the object as it was, unless the new pair was already committed: then the
//   changes count as written and the object must be read again before it is searched or rewritten
//   (it refuses both until a Read succeeds). A commit counts as made once its journal is in place:
//   also one taken back whose journal could not be removed, since the journal names a whole build.
// - Read checks the whole index (FileFormat::ParseIndex) and its data file; GetReadFailure tells
//   a damaged index from a data file that does not belong to it and from an unreadable file.
// - A file may also be written in place: straight into the data file of the pair's next rewrite
//   (StagedData.h), which the rewrite then completes instead of copying the file there. Until the
//   rewrite commits, those bytes lie in temporary files that no reader opens and that a crash
//   leaves for the next writer to remove; a file written in place counts as a queued addition.
//   A rewrite that does not commit keeps them for the next one, unless the removal of the
//   withdrawn commit's journal could not be made durable: then their bytes go with the build and
//   each such file is logged as not stored (the write fails).
// - Errors: false (or 0, or -1) with one log line; nothing throws except allocation failures.
// - Threads: none of its own and no lock; its manager's callers serialise every call.
// - Copies share the index read (immutable) and start without queued changes or handles; moves
//   keep everything.
#include <cstdint>
#include <map>
#include <set>
#include <memory>
#include <string>
#include <vector>

#include "archive/FileFormat.h"
#include "archive/StagedData.h"
#include "common/AutoUpdateProgress.h"
#include "foundation/Types.h"
#include "foundation/UniqueFd.h"

namespace Quor::FileSystem::Impl {

// The process's working folder ("" when it cannot be read).
std::string GetCurrentDirectory();

class ArchiveFile {
public:
    struct FileToAdd_t {
        std::string path;      // stored path
        std::string diskPath;  // file that supplies the bytes
        struct PredicateByFilename {
            bool operator()(const FileToAdd_t& a, const FileToAdd_t& b) const;
        };
    };
    // Paths ordered without regard to case (Vorn::std_stricmp).
    struct PathLess {
        bool operator()(const std::string& a, const std::string& b) const;
    };

    enum class ReadFailure {
        kNone,
        kUnreadable,     // the index file could not be read
        kWrongFormat,    // not an index of this format (wrong magic or version)
        kInvalid,        // right magic and version, but a damaged structure
        kDataMismatch,   // the index is sound but its data file is missing or belongs to another write
    };

    ArchiveFile(const std::string& filename, const std::string& rootDirectory, uint8_t flags);
    ArchiveFile(const ArchiveFile& other);
    ArchiveFile& operator=(const ArchiveFile& other);
    ArchiveFile(ArchiveFile&&) noexcept = default;
    ArchiveFile& operator=(ArchiveFile&&) noexcept = default;
    ~ArchiveFile() = default;

    // The state of a new, empty, written pair.
    void Reset();
    bool IsUpTodate() const;
    bool SetRootDirectory(const std::string& rootDirectory);

    bool Read(bool* invalid);
    bool Read(const std::string& rootDirectory, bool* invalid);
    bool Write(bool force, User::AutoUpdateProgress::AutoTimer* timer);
    // For a sound index whose data file does not match it (Read failed with kDataMismatch): takes
    // the index as read and queues the deletion of every file whose bytes do not lie wholly inside
    // the data file (all of them when it is missing or not a regular file); `dropped` receives
    // their paths. The pair must then be written before it is searched. False when the index
    // itself cannot be read as sound.
    bool ReadKeepingWholeFiles(std::vector<std::string>& dropped);
    bool Write(const std::string& rootDirectory, User::AutoUpdateProgress::AutoTimer* timer);

    bool Find(const std::string& path);
    int32_t Find(uint32_t hash, const std::string& path) const;
    bool Search(const std::string& path, uint32_t& offset, uint32_t& size);
    uint32_t GetSize();
    uint32_t GetSizeOfFile(const std::string& path) const;
    bool Add(const std::string& path, const std::string& diskPath, User::AutoUpdateProgress* progress);
    bool Delete(const std::string& path, User::AutoUpdateProgress* progress);
    // Writing a file in place. TakesInPlace: whether BeginInPlace would take path (not what Add
    // would refuse, nor while a file is being written); it logs nothing. BeginInPlace gives a
    // descriptor of the caller's own on the data file, positioned where the file's bytes go; it is
    // invalid when the file is not taken (silently when TakesInPlace says no, with one ERROR line
    // when the data file could not be made). The caller stops writing it at EndInPlace; after
    // DiscardChanges it reaches only a removed file, never the pair's or a later one. EndInPlace
    // with keep queues the file, which must be exactly `size` bytes; without keep, or when it
    // cannot be kept (one ERROR line naming the file, the data file and the pair), what was
    // written is dropped and the pair is as it was before the begin. One file at a time; the pair
    // is not rewritten while it is open.
    bool TakesInPlace(const std::string& path) const;
    Vorn::UniqueFd BeginInPlace(const std::string& path);
    bool EndInPlace(const std::string& path, uint64_t size, bool keep, User::AutoUpdateProgress* progress);
    // The data file that files written in place go to ("" when there is none).
    std::string InPlaceDataPath() const;
    // Finishes and reads a rewrite that was committed but not read back (true at once when there
    // is none): until then the index held is the old one, and the paths the pair holds unknown.
    bool FinishCommit();
    // Drops the queued changes: the pair is again the one on disk (read again first when a
    // committed rewrite was not read back; a pair that still cannot be read stays unsearchable).
    void DiscardChanges();
    void GetContents(std::vector<std::string>& contents) const;
    const FileFormat::FileListEntry_t* GetFileListEntry(unsigned index) const;

    bool AddFileHandle(uint32_t& handle);
    bool RemoveFileHandle(uint32_t handle);
    bool HasFileHandle(uint32_t handle) const;
    int32_t GetNumHandles() const;
    const std::vector<uint32_t>& GetHandles() const { return m_Handles; }
    void SetReadLock(bool on) { m_ReadLock = on; }
    void SetWriteLock(bool on) { m_WriteLock = on; }

    // Beyond the basic interface: what the manager and the operator tool need to see.
    const std::string& GetFilename() const { return mFilename; }
    const std::string& GetRootDirectory() const { return m_RootDirectory; }
    uint32_t GetArchiveId() const { return m_ArchiveId; }
    bool IsDirty() const { return m_Dirty; }
    ReadFailure GetReadFailure() const { return m_ReadFailure; }
    // Entries of the index read, and the stored path of entry `index` (below GetCount()).
    uint32_t GetCount() const;
    const char* GetPath(unsigned index) const;
    // Stored bytes after the queued additions (deletions not subtracted).
    uint64_t GetProjectedSize();
    bool IsMarkedForDeletion(const std::string& path) const;
    bool IsMarkedForAdding(const std::string& path) const;
    // The parsed index (null before the first successful Read or Reset).
    const FileFormat::ParsedIndex* GetIndex() const { return m_Index.get(); }

private:
    std::string Folder(const std::string& rootDirectory) const;
    bool Rewrite(const std::string& rootDirectory, User::AutoUpdateProgress::AutoTimer* timer);
    bool FinishCommit(const std::string& rootDirectory);
    // Finishes a commit that was made but not read back; false while it cannot be.
    bool Recovered(const std::string& rootDirectory);
    // Whether a new file may be stored under path (queued copies are not looked at: Add's own
    // queue refuses those); one ERROR line when not, unless quiet.
    bool CheckNewPath(const std::string& path, bool quiet) const;
    bool IsInPlace(const std::string& path) const;
    // Drops every queued change with its bytes (files written in place included).
    void ClearQueue();
    // Forgets the files written in place once their build was removed, logging each one.
    void DropPlaced();
    void CountAddition(User::AutoUpdateProgress* progress, uint64_t size);
    void AddToProgressTotal(User::AutoUpdateProgress* progress, int64_t delta);

    bool m_Searchable = false;
    bool m_Dirty = false;
    bool m_Stale = true;
    bool m_ReadLock = false;
    bool m_WriteLock = false;
    uint32_t m_ArchiveId = 0;
    std::shared_ptr<const FileFormat::ParsedIndex> m_Index;
    std::string mFilename;
    std::string m_RootDirectory;
    uint32_t m_TotalSize = 0;
    std::map<std::string, std::string, PathLess> m_FilesToAdd;  // stored path -> disk path, sorted
    std::set<std::string, PathLess> m_FilesToDelete;           // sorted
    std::vector<uint32_t> m_Handles;
    // Files written in place: stored path -> {offset, size} in m_Staged's data file.
    std::map<std::string, std::pair<uint64_t, uint64_t>, PathLess> m_Placed;
    std::unique_ptr<StagedData> m_Staged;
    std::string m_InPlacePath;  // the file between BeginInPlace and EndInPlace (""): no rewrite meanwhile

    uint64_t m_BytesToAdd = 0;  // sizes of the queued additions' disk files when they were queued
    bool m_MustReread = false;  // a committed rewrite could not be read back
    ReadFailure m_ReadFailure = ReadFailure::kNone;
};

}  // namespace Quor::FileSystem::Impl
