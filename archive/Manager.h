#pragma once
// Manager: owns every archive pair of one folder (Quor::FileSystem::IManager).
//
// - One writer at a time: SetRootDirectory takes the folder's writer lock (FolderLock.h), waiting
//   up to GetLockWait() for another writer (another process, or another manager of this one), and
//   holds it until the manager ends; a folder it cannot lock fails the load (IsFolderBusy then
//   tells that another writer held it).
// - Loading (SetRootDirectory): first finishes any rewrite that a crash interrupted after it was
//   committed, removes temporary files of rewrites that never committed (only in a folder that is
//   already an archive folder: it held a pair or the lock file), then reads every "*.zef" index of
//   the folder. An index holding no file is deleted with its data file. A damaged index (right
//   magic and version, broken structure or seal) is set aside with its data file as
//   "<name>.damaged[N]" and "<name>.damaged[N].dat" for repair to find; a "*.zef" of another
//   format or one that is not a regular file is ignored and left as it is. A sound index whose
//   data file does not match it (short, missing, of another write) is rewritten at once with only
//   the files whose bytes lie wholly in the data file (removed with its data file when none
//   does); one that cannot be rewritten fails the load. A new pair never takes a name that any entry of the folder begins
//   with. An index that cannot be read at all fails the load.
// - Add puts a file into the first pair that has room for it below GetMaxPairDataSize() and
//   starts a new pair ("<prefix>_<number>.zef") when none has; a path that a pair stores (and
//   does not delete) or already queues is refused. Delete goes to the pair that stores the path.
// - Handles: OpenFileHandle gives a random non-zero number per reader, refused for a pair with
//   queued changes; a pair with handles is not rewritten (its changes stay queued).
// - WriteArchiveFiles rewrites every changed pair and goes on past a pair that cannot be written;
//   the result says whether all were written; a pair left without files is removed with its data
//   file. The destructor writes whatever is still queued,
//   except in a pair whose last write failed (its caller was told) and that took no change since:
//   that batch is dropped with a WARNING line; a pair that fails at the end is logged as lost.
// - Errors: false, an empty name or handle 0, with one log line. No lock between threads: one
//   thread at a time.
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include <chrono>

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

    bool FileExists(const std::string& path);

    // True when the last SetRootDirectory failed because another writer held the folder.
    bool IsFolderBusy() const { return m_FolderBusy; }
    // How long SetRootDirectory waits for another writer (30 seconds unless set; process-wide).
    static std::chrono::milliseconds GetLockWait();
    static void SetLockWait(std::chrono::milliseconds wait);

    // The pairs of the folder, in load and creation order.
    const std::vector<KeyArchiveFilePair_t>& GetArchives() const { return m_Archives[0]; }

private:
    bool Initialize(const std::string& namePrefix);
    bool LoadArchiveFile(const std::string& name);
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
    bool m_TidyLeftovers = false;  // the folder was an archive folder before this manager came
    // Index names of the pairs whose last write failed (and its caller was told) and that took no
    // change since.
    std::set<std::string> m_FailedPairs;
};

}  // namespace Quor::FileSystem::Impl
