#pragma once
// Manager: owns every archive pair of one folder (Quor::FileSystem::IManager).
//
// - One writer at a time, and readers never wait: the folder's writer lock (FolderLock.h) is taken
//   at the first change (Add, Delete, a forced rewrite), waiting up to GetLockWait() for another
//   writer (another process, or another manager of this one), and held through the commit of
//   everything queued; it is let go as soon as no pair has queued changes. A change that cannot
//   take it fails (IsFolderBusy then tells that another writer held it). A manager that only reads
//   never takes it. A writer that takes it finds the folder as another writer may have left it
//   since this manager read it: when the pairs' files on disk are no longer the ones read, the
//   folder is read again (under the lock) before the change is applied.
// - Readers see other writers' commits: without the lock, Find checks that the pair it answers
//   from is still the one on disk (and, for a path it does not find, that the folder's pairs are
//   unchanged), and reads the folder again when it is not. Handles given out stay valid across
//   such a reading (a handle on a pair that is gone can still be closed). Handles keep only this
//   manager from rewriting a pair; a writer of another process puts its new pair in place by
//   renames, so a data file a reader has open keeps the bytes it had (readers open it right after
//   Find).
// - Loading (SetRootDirectory) reads every "*.zef" index of the folder without the lock. When
//   the folder needs tidying, it tries the lock without waiting and, when it gets it, loads again
//   with tidying and lets the lock go; otherwise the tidying is left to a later writer and only
//   the sound pairs are loaded. Tidying finishes any rewrite that a crash interrupted after it was
//   committed, removes temporary files of rewrites that never committed (only in a folder that is
//   already an archive folder: it held a pair or the lock file), deletes an index holding no file
//   with its data file, and sets a damaged index (right magic and version, broken structure or
//   seal) aside with its data file as "<name>.damaged[N]" and "<name>.damaged[N].dat" for repair
//   to find; a sound index whose data file does not match it (short, missing, of another write) is
//   rewritten with only the files whose bytes lie wholly in the data file (removed with its data
//   file when none does); one that cannot be rewritten fails the load. Without the lock such
//   pairs are not loaded. A "*.zef" of another format or one that is not a regular file is
//   ignored and left as it is. A new pair never takes a name that any entry of the folder begins
//   with. An index that cannot be read at all fails the load. A pair whose interrupted rewrite
//   cannot be finished now is not read, and the build its journal names is kept. While such a
//   pair is left, or one of this writer's own commits was made but cannot be finished, no path of
//   the folder is added, written in place or deleted (one ERROR line): its pair's paths are not
//   known. The first change after a load that left tidying undone reads the folder again under
//   the lock.
// - Add puts a file into the first pair that has room for it below GetMaxPairDataSize() and
//   starts a new pair ("<prefix>_<number>.zef") when none has; a path that a pair stores (and
//   does not delete) or already queues is refused. Delete goes to the pair that stores the path.
// - BeginAddInPlace / EndAddInPlace: the same for a file written straight into its pair's next
//   data file (ArchiveFile::BeginInPlace) instead of being copied there from a disk file; the
//   writer lock is taken at the begin and held at least until the end, and the declared size is
//   counted in its pair from the begin (no other file takes that room meanwhile).
// - Handles: OpenFileHandle gives a random non-zero number per reader, refused for a pair with
//   queued changes; a pair with handles is not rewritten (its changes stay queued).
// - WriteArchiveFiles rewrites every changed pair and goes on past a pair that cannot be written;
//   the result says whether all were written; a pair left without files is removed with its data
//   file. The destructor writes whatever is still queued,
//   except in a pair whose last write failed (its caller was told) and that took no change since:
//   that batch is dropped with a WARNING line; a pair that fails at the end is logged as lost.
// - Errors: false, an empty name or handle 0, with one log line. No lock between threads: one
//   thread at a time.
#include <sys/types.h>
#include <time.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "archive/ArchiveFile.h"
#include "archive/FolderLock.h"
#include "archive/IManager.h"

namespace Quor::FileSystem::Impl {

class Manager final : public IManager {
public:
    struct KeyArchiveFilePair_t {
        uint32_t key;  // HashString of the index file name
        ArchiveFile file;
    };

    Manager() = default;
    ~Manager() override;
    Manager(const Manager&) = delete;
    Manager& operator=(const Manager&) = delete;

    // False for an empty text; else whether the folder exists or could be created.
    static bool CheckRootDirectory(const std::string& rootDirectory);

    bool Add(const std::string& path, const std::string* diskPath, User::AutoUpdateProgress* progress) override;
    bool Delete(const std::string& path, User::AutoUpdateProgress* progress) override;
    bool Find(const std::string& path, std::string& archiveName, uint32_t& offset, uint32_t& size) override;
    uint32_t OpenFileHandle(const std::string& archiveName) override;
    bool CloseFileHandle(const std::string& archiveName, uint32_t handle) override;
    std::string GetRootDirectory() const override { return m_RootDirectory; }
    bool SetRootDirectory(const std::string& rootDirectory, const std::string& namePrefix) override;
    bool WriteArchiveFiles(bool force, User::AutoUpdateProgress* progress) override;
    bool IsArchiveUpToDate(std::string& archiveName) override;
    bool FlushArchive(std::string& archiveName, bool force, User::AutoUpdateProgress* progress) override;
    void GetContents(std::vector<std::string>& contents) const override;
    void DiscardChanges() override;
    Vorn::UniqueFd BeginAddInPlace(const std::string& path, uint64_t size, std::string* where = nullptr,
                                   bool* failed = nullptr, uint64_t* begun = nullptr) override;
    bool EndAddInPlace(const std::string& path, bool keep, User::AutoUpdateProgress* progress,
                       uint64_t begun = 0) override;

    bool FileExists(const std::string& path);

    // True when the last change failed because another writer held the folder.
    bool IsFolderBusy() const { return m_FolderBusy; }
    // How long a change waits for another writer (30 seconds unless set; process-wide).
    static std::chrono::milliseconds GetLockWait();
    static void SetLockWait(std::chrono::milliseconds wait);

    // The pairs of the folder, in load and creation order.
    const std::vector<KeyArchiveFilePair_t>& GetArchives() const { return m_Archives[0]; }

    // What identifies a file of the folder on disk: a rewrite puts new files in place.
    struct FileIdentity {
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        timespec modified{};
        timespec changed{};
        bool operator==(const FileIdentity& other) const;
    };
    // The index, data and journal files of the folder by name.
    using FolderState = std::map<std::string, FileIdentity>;

private:
    bool Initialize(const std::string& namePrefix);
    // Reads the folder's pairs (tidying only under the lock) and notes the state they were read in.
    bool LoadFolder();
    bool Load(bool tidy, bool& untidy);
    // Reads the folder again, keeping the handles given out.
    bool Refresh();
    // BeginChange for a change of a path: also finishes this writer's own commits that were made
    // but not read back, and refuses while one cannot be.
    bool BeginPathChange();
    // Takes the writer lock for a change (reading the folder again when another writer changed
    // it); false when it cannot be taken.
    bool BeginChange();
    // Lets the writer lock go when no pair has queued changes.
    void EndChange();
    bool IsPairOnDisk(const ArchiveFile& pair) const;
    ArchiveFile* Search(const std::string& path, uint32_t& offset, uint32_t& size);
    bool Queue(const std::string& path, const std::string& source, User::AutoUpdateProgress* progress);
    // The pair that takes a new file of `size` bytes (made when none has room: created tells);
    // null when the path is stored or queued already or the file cannot fit any pair, logged with
    // the disk file `source` unless there is none.
    ArchiveFile* PairFor(const std::string& path, uint64_t size, const std::string* source, bool& created);
    // Forgets the pair of that index name if it was made here and never took anything.
    void DropUnwrittenPair(std::string name);
    bool QueueDeletion(const std::string& path, User::AutoUpdateProgress* progress);
    bool LoadArchiveFile(const std::string& name, bool tidy, bool& untidy);
    void SetAside(const std::string& name);
    bool LoadKeepingWholeFiles(uint32_t key, const std::string& name);
    // Pairs that store nothing (and wait for no write or reader) leave the list and the disk.
    void RemoveEmptyPairs();
    bool IsNameTaken(const std::string& name) const;
    ArchiveFile* FindArchive(uint32_t hash, const std::string& name);
    ArchiveFile* FindArchiveByDataName(const std::string& archiveName);
    ArchiveFile* CreateArchiveFile(const std::string& name, unsigned archiveId);
    ArchiveFile* CreateArchiveFile(const std::string& path);
    std::string Folder() const;
    // A change went to pair: it is written at the end again. Returns queued.
    bool Queued(const ArchiveFile& pair, bool queued);

    std::vector<std::vector<KeyArchiveFilePair_t>> m_Archives{1};
    std::string m_RootDirectory;
    std::string m_NamePrefix;
    uint32_t m_NameCounter = 0;
    FolderLock m_Lock;
    bool m_FolderBusy = false;
    FolderState m_State;  // the folder's files as the pairs held were read or last written
    // Handles on pairs that went when the folder was read again, by data file name.
    std::multimap<std::string, uint32_t> m_OrphanHandles;
    bool m_TidyLeftovers = false;  // the folder was an archive folder before this manager came
    // The last load left something for a writer (read without tidying, or a rewrite it could not
    // finish): a change reads the folder again under the lock first.
    bool m_LeftUntidy = false;
    // Pairs whose interrupted rewrite the last load could not finish: not read, so nothing may be
    // changed while any is left (a path of theirs would be stored twice).
    std::vector<std::string> m_Unfinished;
    // Index names of the pairs whose last write failed (and its caller was told) and that took no
    // change since.
    std::set<std::string> m_FailedPairs;
    // The file being written in place (empty: none), its pair's index name and its size; the
    // writer lock stays held while it is open.
    std::string m_InPlace;
    std::string m_InPlacePair;
    uint64_t m_InPlaceSize = 0;
    bool m_InPlaceNewPair = false;  // its pair was made for it
    uint64_t m_InPlaceBegun = 0;    // the number of the latest begin (counts every begin)
};

}  // namespace Quor::FileSystem::Impl
