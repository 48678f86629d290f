#include "archive/Manager.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <optional>

#include "archive/FileFormat.h"
#include "archive/FolderEntries.h"
#include "archive/PairCommit.h"
#include "archive/PairLimit.h"
#include "common/Log.h"
#include "common/TreePath.h"
#include "foundation/CStd/CStd.h"
#include "foundation/Random.h"

namespace Quor::FileSystem::Impl {

namespace {

constexpr uint8_t kPairFlags = 10;
constexpr uint32_t kNameAttempts = 1000;
constexpr int kHandleDraws = 11;
const std::string kDataSuffix = "." + FileFormat::skDataFileNameExtension;

std::optional<uint64_t> DiskFileSize(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return static_cast<uint64_t>(st.st_size);
}

std::atomic<int64_t> g_LockWaitMs{30000};
constexpr int kSetAsideAttempts = 100;
const std::string kSetAsideSuffix = ".damaged";

bool IsRegularEntry(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool SameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

std::optional<Manager::FileIdentity> IdentityOf(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return std::nullopt;
    return Manager::FileIdentity{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
}

// Every entry whose name holds the index extension: indexes, their data files and journals.
Manager::FolderState ReadFolderState(const std::string& folder) {
    const std::string index = "." + FileFormat::skDirectoryFileNameExtension;
    Manager::FolderState state;
    for (const std::string& name : FolderEntries(folder))
        if (name.find(index) != std::string::npos)
            if (auto identity = IdentityOf(folder + "/" + name)) state.emplace(name, *identity);
    return state;
}

constexpr int kLoadAttempts = 3;

}  // namespace

bool Manager::FileIdentity::operator==(const FileIdentity& other) const {
    return device == other.device && inode == other.inode && size == other.size &&
           SameTime(modified, other.modified) && SameTime(changed, other.changed);
}

std::chrono::milliseconds Manager::GetLockWait() { return std::chrono::milliseconds(g_LockWaitMs.load()); }

void Manager::SetLockWait(std::chrono::milliseconds wait) { g_LockWaitMs.store(wait.count()); }

Manager::~Manager() {
    QUOR_LOG(Log::VERBOSE, "[%s]", m_RootDirectory.c_str());
    // Without the lock nothing is queued: there is nothing to write.
    if (!m_Lock.IsHeld()) return;
    // A batch whose write its caller was told failed is not written behind its back; every pair
    // that took changes since (or never failed) is.
    for (KeyArchiveFilePair_t& pair : m_Archives[0]) {
        if (m_FailedPairs.count(pair.file.GetFilename())) {
            if (pair.file.IsDirty())
                QUOR_LOG(Log::WARNING, "Changes of \"%s/%s\" that could not be written are dropped",
                         m_RootDirectory.c_str(), pair.file.GetFilename().c_str());
            continue;
        }
        if (!pair.file.Write(false, nullptr))
            QUOR_LOG(Log::ERROR, "Changes of \"%s/%s\" could not be written and are lost", m_RootDirectory.c_str(),
                     pair.file.GetFilename().c_str());
    }
    RemoveEmptyPairs();
    // Files staged for a rewrite that did not happen go while the folder is still this writer's.
    m_Archives.clear();
}

bool Manager::CheckRootDirectory(const std::string& rootDirectory) {
    if (rootDirectory.empty()) return false;
    // In the install tree the folder is made (or found) without passing a link, and a link at
    // its place is replaced by a real folder, so that no pair is written through one.
    if (Common::TreePath::Contains(rootDirectory) ? Common::TreePath::OpenFolder(rootDirectory, true).IsValid()
                                                  : Vorn::std_mkdir_tree(rootDirectory.c_str()))
        return true;
    const int error = errno;  // the reason stays for the caller's message
    const bool exists = Vorn::std_dir_exists(rootDirectory.c_str());
    errno = error;
    return exists;
}

std::string Manager::Folder() const { return m_RootDirectory.empty() ? std::string(".") : m_RootDirectory; }

bool Manager::SetRootDirectory(const std::string& rootDirectory, const std::string& namePrefix) {
    QUOR_LOG(Log::VERBOSE, "(%s, %s)", rootDirectory.c_str(), namePrefix.c_str());
    m_Archives.assign(1, {});  // what they staged goes before the lock
    m_Lock.Release();
    m_RootDirectory = rootDirectory;
    m_InPlace.clear();
    m_Archives.assign(1, {});
    m_FolderBusy = false;
    m_FailedPairs.clear();
    m_OrphanHandles.clear();
    // Leftovers are only tidied where this system has written before: a folder that held the
    // lock file or an index of ours already.
    m_TidyLeftovers = IsArchiveFolder(Folder());
    if (Initialize(namePrefix)) return true;
    m_Archives.assign(1, {});
    return false;
}

bool Manager::Initialize(const std::string& namePrefix) {
    QUOR_LOG(Log::VERBOSE, "(%s)", namePrefix.c_str());
    m_NamePrefix = namePrefix.empty() ? std::string("Archive") : namePrefix;
    return LoadFolder();
}

bool Manager::LoadFolder() {
    const std::string folder = Folder();
    bool untidy = false;
    if (m_Lock.IsHeld()) {
        const bool loaded = Load(true, untidy);
        m_State = ReadFolderState(folder);
        return loaded;
    }
    // Another writer may commit while the folder is read: it is read until it stood still.
    for (int attempt = 1;; ++attempt) {
        const FolderState before = ReadFolderState(folder);
        untidy = false;
        if (!Load(false, untidy)) return false;
        // Something to tidy: only a writer may, and only one that does not have to wait for another.
        if (untidy && m_Lock.TryAcquire(folder) == FolderLock::Result::kLocked) {
            const bool loaded = Load(true, untidy);
            m_State = ReadFolderState(folder);
            m_Lock.Release();
            return loaded;
        }
        if (untidy && attempt == 1)
            QUOR_LOG(Log::DEBUG, "%s needs tidying while another writer works in it; its sound pairs are read",
                     folder.c_str());
        FolderState after = ReadFolderState(folder);
        if (after == before || attempt == kLoadAttempts) {
            m_State = std::move(after);
            m_LeftUntidy = untidy;
            return true;
        }
    }
}

bool Manager::Load(bool tidy, bool& untidy) {
    m_Archives.assign(1, {});
    m_FailedPairs.clear();
    const std::string folder = Folder();
    const std::string index = "." + FileFormat::skDirectoryFileNameExtension;

    const std::vector<std::string> entries = FolderEntries(folder);
    auto isIndexName = [&](const std::string& name) {
        return name.size() > index.size() && name.compare(name.size() - index.size(), index.size(), index) == 0;
    };

    // Rewrites that were committed but cut off are finished; those never committed are dropped. A
    // pair whose rewrite cannot be finished now is not read: its index and data file may be of two
    // writes, and the build its journal names stays for the next writer.
    std::vector<std::string> unfinished;
    const std::string journalSuffix = PairCommit::JournalName("");
    for (const std::string& journal : entries)
        if (journal.size() > journalSuffix.size() + index.size() &&
            journal.compare(journal.size() - journalSuffix.size(), journalSuffix.size(), journalSuffix) == 0 &&
            isIndexName(journal.substr(0, journal.size() - journalSuffix.size()))) {
            if (!tidy) {
                untidy = true;
                continue;
            }
            const std::string pair = journal.substr(0, journal.size() - journalSuffix.size());
            if (PairCommit::Recover(folder, pair) == PairCommit::RecoverResult::kFailed) unfinished.push_back(pair);
        }
    if (m_TidyLeftovers) {
        if (tidy) {
            PairCommit::RemoveLeftovers(folder);
        } else {
            const std::string data = "." + FileFormat::skDataFileNameExtension;
            for (const std::string& name : entries)
                if (PairCommit::IsTemporaryName(name.ends_with(data) ? name.substr(0, name.size() - data.size()) : name))
                    untidy = true;
        }
    }

    m_Unfinished = unfinished;
    m_LeftUntidy = !unfinished.empty();
    for (const std::string& name : FolderEntries(folder)) {
        if (!isIndexName(name)) continue;
        if (std::find(unfinished.begin(), unfinished.end(), name) != unfinished.end()) {
            QUOR_LOG(Log::WARNING, "%s is left as it is until its interrupted rewrite can be finished; its files are not read",
                     name.c_str());
            continue;
        }
        if (!IsRegularEntry(folder + "/" + name)) {
            QUOR_LOG(Log::WARNING, "%s is not a regular file; it is ignored", name.c_str());
            continue;
        }
        if (!LoadArchiveFile(name, tidy, untidy)) {
            QUOR_LOG(Log::WARNING, "Failed to load the following archive: %s", name.c_str());
            return false;
        }
    }
    return true;
}

bool Manager::Refresh() {
    QUOR_LOG(Log::DEBUG, "%s changed on disk since it was read; it is read again", Folder().c_str());
    std::multimap<std::string, uint32_t> handles = std::move(m_OrphanHandles);
    m_OrphanHandles.clear();
    for (const KeyArchiveFilePair_t& pair : m_Archives[0])
        for (uint32_t handle : pair.file.GetHandles()) handles.emplace(pair.file.GetFilename() + kDataSuffix, handle);
    const bool loaded = LoadFolder();
    for (auto& [name, handle] : handles) {
        ArchiveFile* pair = FindArchiveByDataName(name);
        uint32_t kept = handle;
        if (!pair || !pair->AddFileHandle(kept)) m_OrphanHandles.emplace(name, handle);
    }
    if (!loaded) QUOR_LOG(Log::ERROR, "Failed to read %s again", Folder().c_str());
    return loaded;
}

bool Manager::BeginChange() {
    if (m_Lock.IsHeld()) return true;
    m_FolderBusy = false;
    switch (m_Lock.Acquire(Folder(), GetLockWait())) {
        case FolderLock::Result::kLocked:
            break;
        case FolderLock::Result::kBusy:
            m_FolderBusy = true;
            return false;
        case FolderLock::Result::kFailed:
            return false;
    }
    // Nothing is queued yet: the pairs may be read again from what another writer committed, or
    // tidied now that this one may.
    const bool current = !m_LeftUntidy && ReadFolderState(Folder()) == m_State;
    if (current || Refresh()) {
        if (m_Unfinished.empty()) return true;
        QUOR_LOG(Log::ERROR, "The archive folder \"%s\" is not changed while the interrupted rewrite of %s cannot be finished",
                 Folder().c_str(), m_Unfinished.front().c_str());
    }
    m_Lock.Release();
    return false;
}

bool Manager::BeginPathChange() {
    if (!BeginChange()) return false;
    // A rewrite of this writer's that was committed but not read back: the paths its pair holds
    // are known only once it is finished.
    for (KeyArchiveFilePair_t& pair : m_Archives[0]) {
        if (pair.file.FinishCommit()) continue;
        QUOR_LOG(Log::ERROR, "The archive folder \"%s\" is not changed while the interrupted rewrite of %s cannot be finished",
                 Folder().c_str(), pair.file.GetFilename().c_str());
        EndChange();
        return false;
    }
    return true;
}

void Manager::EndChange() {
    if (!m_Lock.IsHeld() || !m_InPlace.empty()) return;
    for (const KeyArchiveFilePair_t& pair : m_Archives[0])
        if (pair.file.IsDirty()) return;
    m_State = ReadFolderState(Folder());
    m_Lock.Release();
}

bool Manager::IsPairOnDisk(const ArchiveFile& pair) const {
    const std::string folder = Folder();
    for (const std::string& name : {pair.GetFilename(), pair.GetFilename() + kDataSuffix}) {
        const auto held = m_State.find(name);
        const auto now = IdentityOf(folder + "/" + name);
        if (held == m_State.end() || !now || !(held->second == *now)) return false;
    }
    return true;
}

bool Manager::LoadArchiveFile(const std::string& name, bool tidy, bool& untidy) {
    QUOR_LOG(Log::VERBOSE, "(%s)", name.c_str());
    if (name.empty()) {
        QUOR_LOG(Log::ERROR, "Empty file name");
        return false;
    }
    const uint32_t key = FileFormat::HashString(name.c_str());
    if (FindArchive(key, name)) return true;
    ArchiveFile pair(name, m_RootDirectory, kPairFlags);
    bool invalid = false;
    const std::string path = Folder() + "/" + name;
    if (pair.Read(&invalid)) {
        if (pair.GetCount() != 0) {
            // Only list 0 exists; a pair of another id keeps its id and lives there too.
            m_Archives[0].push_back(KeyArchiveFilePair_t{key, std::move(pair)});
        } else if (!tidy) {
            untidy = true;
        } else {
            // The data file goes first: an index without files needs none.
            QUOR_LOG(Log::WARNING, "Zero sized archive will be deleted and ignored");
            const std::string data = path + kDataSuffix;
            if (IsRegularEntry(data)) Vorn::std_remove(data.c_str());
            Vorn::std_remove(path.c_str());
        }
        return true;
    }
    const ArchiveFile::ReadFailure failure = pair.GetReadFailure();
    if (!tidy && (failure == ArchiveFile::ReadFailure::kInvalid || failure == ArchiveFile::ReadFailure::kDataMismatch)) {
        QUOR_LOG(Log::WARNING, "%s is left for a writer to mend; its files are not read", path.c_str());
        untidy = true;
        return true;
    }
    switch (failure) {
        case ArchiveFile::ReadFailure::kInvalid:
            SetAside(name);
            return true;
        case ArchiveFile::ReadFailure::kWrongFormat:
            QUOR_LOG(Log::WARNING, "%s is not an archive index; it is ignored and kept", path.c_str());
            return true;
        case ArchiveFile::ReadFailure::kDataMismatch:
            return LoadKeepingWholeFiles(key, name);
        default:
            return false;
    }
}

bool Manager::LoadKeepingWholeFiles(uint32_t key, const std::string& name) {
    const std::string path = Folder() + "/" + name;
    ArchiveFile pair(name, m_RootDirectory, kPairFlags);
    std::vector<std::string> dropped;
    if (!pair.ReadKeepingWholeFiles(dropped)) {
        QUOR_LOG(Log::ERROR, "Failed to load the following archive: %s", path.c_str());
        return false;
    }
    QUOR_LOG(Log::WARNING, "Archive %s does not match its data file; the %u of its %u files that lie in it are kept",
             path.c_str(), pair.GetCount() - static_cast<uint32_t>(dropped.size()), pair.GetCount());
    for (const std::string& lost : dropped)
        QUOR_LOG(Log::WARNING, "\"%s\" is not whole in the data file of %s; it is dropped", lost.c_str(), path.c_str());
    if (dropped.size() == pair.GetCount()) {
        // Nothing left: the data file goes first, as for an index without files.
        const std::string data = path + kDataSuffix;
        if (IsRegularEntry(data)) Vorn::std_remove(data.c_str());
        Vorn::std_remove(path.c_str());
        PairCommit::SyncDirectory(Folder());
        return true;
    }
    // Written at once, so that no path is ever claimed by this pair and a new one, and no reader is
    // sent past the end of the data file. A pair that cannot be written fails the load.
    if (!pair.Write(false, nullptr)) {
        QUOR_LOG(Log::ERROR, "Failed to write archive %s without the files its data file lacks", path.c_str());
        return false;
    }
    m_Archives[0].push_back(KeyArchiveFilePair_t{key, std::move(pair)});
    return true;
}

void Manager::SetAside(const std::string& name) {
    const std::string folder = Folder();
    const std::string path = folder + "/" + name;
    for (int attempt = 0; attempt < kSetAsideAttempts; ++attempt) {
        const std::string aside = path + kSetAsideSuffix + (attempt ? std::to_string(attempt) : std::string());
        if (::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, aside.c_str(), RENAME_NOREPLACE) != 0) {
            if (errno == EEXIST) continue;
            break;
        }
        const std::string data = path + kDataSuffix;
        if (IsRegularEntry(data) &&
            ::renameat2(AT_FDCWD, data.c_str(), AT_FDCWD, (aside + kDataSuffix).c_str(), RENAME_NOREPLACE) != 0)
            QUOR_LOG(Log::ERROR, "Failed to set aside \"%s\"", data.c_str());
        PairCommit::SyncDirectory(folder);
        QUOR_LOG(Log::WARNING, "Damaged archive %s set aside as %s", path.c_str(), aside.c_str());
        return;
    }
    QUOR_LOG(Log::ERROR, "Damaged archive %s could not be set aside; it is ignored and kept", path.c_str());
}

void Manager::RemoveEmptyPairs() {
    std::erase_if(m_Archives[0], [this](KeyArchiveFilePair_t& pair) {
        ArchiveFile& file = pair.file;
        if (file.GetCount() != 0 || file.IsDirty() || file.GetNumHandles() != 0 || !file.GetIndex()) return false;
        const std::string path = Folder() + "/" + file.GetFilename();
        if (IsRegularEntry(path)) {
            // The data file goes first: an index without files needs none.
            QUOR_LOG(Log::DEBUG, "Archive %s stores no file any more; it is removed", path.c_str());
            const std::string data = path + kDataSuffix;
            if (IsRegularEntry(data)) Vorn::std_remove(data.c_str());
            Vorn::std_remove(path.c_str());
            PairCommit::SyncDirectory(Folder());
        }
        m_FailedPairs.erase(file.GetFilename());
        return true;
    });
}

bool Manager::IsNameTaken(const std::string& name) const {
    for (const std::string& entry : FolderEntries(Folder()))
        if (entry.compare(0, name.size(), name) == 0) return true;
    return false;
}

ArchiveFile* Manager::FindArchive(uint32_t hash, const std::string& name) {
    if (name.empty()) {
        QUOR_LOG(Log::ERROR, "Empty file name");
        return nullptr;
    }
    for (KeyArchiveFilePair_t& pair : m_Archives[0])
        if (pair.key == hash && pair.file.GetFilename() == name) return &pair.file;
    return nullptr;
}

ArchiveFile* Manager::FindArchiveByDataName(const std::string& archiveName) {
    if (archiveName.size() <= kDataSuffix.size()) return nullptr;
    const std::string name = archiveName.substr(0, archiveName.size() - kDataSuffix.size());
    return FindArchive(FileFormat::HashString(name.c_str()), name);
}

ArchiveFile* Manager::CreateArchiveFile(const std::string& name, unsigned archiveId) {
    QUOR_LOG(Log::VERBOSE, "(%s, %u)", name.c_str(), archiveId);
    if (name.empty()) {
        QUOR_LOG(Log::ERROR, "Empty file name");
        return nullptr;
    }
    const uint32_t key = FileFormat::HashString(name.c_str());
    if (FindArchive(key, name)) return nullptr;
    // Files of that name left on disk (an index ignored at load, a pair set aside, a data file or
    // journal without index) are never overwritten.
    if (IsNameTaken(name)) return nullptr;
    ArchiveFile pair(name, m_RootDirectory, kPairFlags);
    pair.Reset();
    m_Archives[0].push_back(KeyArchiveFilePair_t{key, std::move(pair)});
    return &m_Archives[0].back().file;
}

ArchiveFile* Manager::CreateArchiveFile(const std::string& path) {
    QUOR_LOG(Log::VERBOSE, "(%s)", path.c_str());
    if (path.empty()) {
        QUOR_LOG(Log::ERROR, "Empty file name");
        return nullptr;
    }
    while (true) {
        const std::string counter = std::to_string(m_NameCounter);
        const std::string text = m_NamePrefix + counter + "_" + m_RootDirectory + counter;
        const std::string name = m_NamePrefix + "_" + std::to_string(FileFormat::HashString(text.c_str())) + "." +
                                 FileFormat::skDirectoryFileNameExtension;
        ArchiveFile* pair = CreateArchiveFile(name, 0);
        ++m_NameCounter;
        if (pair) return pair;
        if (m_NameCounter >= kNameAttempts) return nullptr;
    }
}

bool Manager::Add(const std::string& path, const std::string* diskPath, User::AutoUpdateProgress* progress) {
    const std::string& source = diskPath ? *diskPath : path;
    QUOR_LOG(Log::VERBOSE, "(%s, %s)", path.c_str(), source.c_str());
    if (path.empty()) {
        QUOR_LOG(Log::ERROR, "Empty file name");
        return false;
    }
    if (!BeginPathChange()) return false;
    const bool queued = Queue(path, source, progress);
    EndChange();
    return queued;
}

bool Manager::Queue(const std::string& path, const std::string& source, User::AutoUpdateProgress* progress) {
    bool created = false;
    ArchiveFile* pair = PairFor(path, DiskFileSize(source).value_or(0), &source, created);
    return pair && Queued(*pair, pair->Add(path, source, progress));
}

ArchiveFile* Manager::PairFor(const std::string& path, uint64_t size, const std::string* source, bool& created) {
    created = false;
    for (KeyArchiveFilePair_t& pair : m_Archives[0]) {
        if (pair.file.IsMarkedForAdding(path)) {
            if (source) QUOR_LOG(Log::ERROR, "File already marked for adding");
            return nullptr;
        }
        if (pair.file.Find(FileFormat::HashString(path.c_str()), path) >= 0 && !pair.file.IsMarkedForDeletion(path)) {
            if (source) QUOR_LOG(Log::ERROR, "Filed already in archive");
            return nullptr;
        }
    }
    const uint64_t limit = GetMaxPairDataSize();
    if (size > limit) {
        if (source)
            QUOR_LOG(Log::ERROR, "File \"%s\" is too large for an archive (%llu bytes)", source->c_str(),
                     static_cast<unsigned long long>(size));
        return nullptr;
    }
    for (KeyArchiveFilePair_t& pair : m_Archives[0]) {
        // A file being written in place holds the room it was begun with until its end.
        const uint64_t reserved = !m_InPlace.empty() && pair.file.GetFilename() == m_InPlacePair ? m_InPlaceSize : 0;
        if (pair.file.GetProjectedSize() + reserved + size <= limit) return &pair.file;
    }
    ArchiveFile* pair = CreateArchiveFile(path);
    created = pair != nullptr;
    return pair;
}

void Manager::DropUnwrittenPair(std::string name) {
    std::erase_if(m_Archives[0], [&name](const KeyArchiveFilePair_t& pair) {
        const ArchiveFile& file = pair.file;
        return file.GetFilename() == name && !file.GetIndex() && !file.IsDirty() && file.GetNumHandles() == 0;
    });
}

Vorn::UniqueFd Manager::BeginAddInPlace(const std::string& path, uint64_t size, std::string* where, bool* failed,
                                        uint64_t* begun) {
    QUOR_LOG(Log::VERBOSE, "(%s, %llu)", path.c_str(), static_cast<unsigned long long>(size));
    if (failed) *failed = false;
    if (!m_InPlace.empty()) {
        QUOR_LOG(Log::ERROR, "\"%s\" is still being written in place", m_InPlace.c_str());
        return {};
    }
    if (path.empty()) return {};
    if (!BeginPathChange()) {
        // Logged by the lock or the unfinished rewrite; Add would fail alike.
        if (failed) *failed = true;
        return {};
    }
    // What Add would refuse is refused without a word: Add, which the caller turns to, says why.
    bool created = false;
    ArchiveFile* pair = PairFor(path, size, nullptr, created);
    Vorn::UniqueFd output = pair ? pair->BeginInPlace(path) : Vorn::UniqueFd();
    if (!output.IsValid()) {
        if (created) DropUnwrittenPair(pair->GetFilename());
        EndChange();
        return {};
    }
    m_InPlace = path;
    m_InPlacePair = pair->GetFilename();
    m_InPlaceSize = size;
    m_InPlaceNewPair = created;
    if (where) *where = pair->InPlaceDataPath();
    ++m_InPlaceBegun;
    if (begun) *begun = m_InPlaceBegun;
    return output;
}

bool Manager::EndAddInPlace(const std::string& path, bool keep, User::AutoUpdateProgress* progress, uint64_t begun) {
    QUOR_LOG(Log::VERBOSE, "(%s, %s, %llu)", path.c_str(), keep ? "true" : "false",
             static_cast<unsigned long long>(begun));
    if (m_InPlace.empty() || m_InPlace != path || (begun != 0 && begun != m_InPlaceBegun)) {
        // Dropping a file whose begin was dropped with the changes has nothing left to do.
        if (keep || begun == 0) QUOR_LOG(Log::ERROR, "\"%s\" is not being written in place", path.c_str());
        return false;
    }
    m_InPlace.clear();
    bool kept = false;
    if (ArchiveFile* pair = FindArchiveByDataName(m_InPlacePair + kDataSuffix)) {
        kept = Queued(*pair, pair->EndInPlace(path, m_InPlaceSize, keep, progress));
        if (!kept && m_InPlaceNewPair) DropUnwrittenPair(m_InPlacePair);
    } else {
        QUOR_LOG(Log::ERROR, "\"%s\" was written in place into %s/%s, which is no longer loaded; it is not stored",
                 path.c_str(), m_RootDirectory.c_str(), m_InPlacePair.c_str());
    }
    EndChange();
    return kept;
}

bool Manager::Delete(const std::string& path, User::AutoUpdateProgress* progress) {
    QUOR_LOG(Log::VERBOSE, "(%s)", path.c_str());
    if (path.empty()) {
        QUOR_LOG(Log::ERROR, "Empty file name");
        return false;
    }
    if (!BeginPathChange()) return false;
    const bool queued = QueueDeletion(path, progress);
    EndChange();
    return queued;
}

bool Manager::QueueDeletion(const std::string& path, User::AutoUpdateProgress* progress) {
    // The pair that stores the path removes it; a path stored nowhere is marked in the first
    // pair that accepts it.
    for (KeyArchiveFilePair_t& pair : m_Archives[0])
        if (pair.file.Find(path)) return Queued(pair.file, pair.file.Delete(path, progress));
    for (KeyArchiveFilePair_t& pair : m_Archives[0])
        if (pair.file.Delete(path, progress)) return Queued(pair.file, true);
    return false;
}

bool Manager::Queued(const ArchiveFile& pair, bool queued) {
    if (queued) m_FailedPairs.erase(pair.GetFilename());
    return queued;
}

bool Manager::Find(const std::string& path, std::string& archiveName, uint32_t& offset, uint32_t& size) {
    QUOR_LOG(Log::VERBOSE, "(%s)", path.c_str());
    archiveName.clear();
    offset = 0;
    size = 0;
    if (path.empty()) {
        QUOR_LOG(Log::ERROR, "Empty name");
    } else {
        // Without the lock another writer may have committed since the pairs were read: an answer
        // comes from a pair still on disk as read, and a miss from a folder that did not change.
        ArchiveFile* pair = Search(path, offset, size);
        if (!m_Lock.IsHeld() && (pair ? !IsPairOnDisk(*pair) : ReadFolderState(Folder()) != m_State)) {
            Refresh();  // what it could read answers (the pairs read before are gone either way)
            pair = Search(path, offset, size);
        }
        if (pair) {
            archiveName = pair->GetFilename() + kDataSuffix;
            QUOR_LOG(Log::VERBOSE, "Found file <%s> in Archive <%s>", path.c_str(), archiveName.c_str());
            return true;
        }
        offset = 0;
        size = 0;
    }
    QUOR_LOG(Log::VERBOSE, "Failed to find file <%s>", path.c_str());
    return false;
}

ArchiveFile* Manager::Search(const std::string& path, uint32_t& offset, uint32_t& size) {
    for (KeyArchiveFilePair_t& pair : m_Archives[0])
        if (pair.file.Search(path, offset, size)) return &pair.file;
    return nullptr;
}

bool Manager::FileExists(const std::string& path) {
    if (path.empty()) {
        QUOR_LOG(Log::ERROR, "Empty file name");
        return false;
    }
    std::string name;
    uint32_t offset = 0, size = 0;
    if (!m_Lock.IsHeld()) Find(path, name, offset, size);  // reads the folder again when it changed
    for (KeyArchiveFilePair_t& pair : m_Archives[0])
        if (pair.file.Find(path)) return true;
    return false;
}

uint32_t Manager::OpenFileHandle(const std::string& archiveName) {
    QUOR_LOG(Log::VERBOSE, "(%s)", archiveName.c_str());
    if (archiveName.empty()) {
        QUOR_LOG(Log::ERROR, "Empty name");
        return 0;
    }
    uint32_t handle = 0;
    ArchiveFile* pair = FindArchiveByDataName(archiveName);
    if (pair && !pair->IsDirty()) {
        for (int draw = 0; draw < kHandleDraws; ++draw) {
            handle = Vorn::Math::GetRandomUInt(0xFFFFFFFF);
            // 0 reads as "no handle" to every caller: draw again.
            if (handle != 0 && pair->AddFileHandle(handle)) break;
            handle = 0;
        }
    }
    QUOR_LOG(Log::VERBOSE, "Return value: 0x08lx");
    return handle;
}

bool Manager::CloseFileHandle(const std::string& archiveName, uint32_t handle) {
    QUOR_LOG(Log::VERBOSE, "(%s, 0x%08x)", archiveName.c_str(), handle);
    if (archiveName.empty()) {
        QUOR_LOG(Log::ERROR, "Empty name");
        return false;
    }
    ArchiveFile* pair = FindArchiveByDataName(archiveName);
    if (pair && pair->RemoveFileHandle(handle)) return true;
    // A handle on a pair that another writer replaced or removed since.
    for (auto [at, end] = m_OrphanHandles.equal_range(archiveName); at != end; ++at)
        if (at->second == handle) {
            m_OrphanHandles.erase(at);
            return true;
        }
    return false;
}

bool Manager::WriteArchiveFiles(bool force, User::AutoUpdateProgress* progress) {
    QUOR_LOG(Log::VERBOSE, "%s, 0x%08lx)", force ? "true" : "false",
             static_cast<unsigned long>(reinterpret_cast<uintptr_t>(progress)));
    std::optional<User::AutoUpdateProgress::AutoTimer> timer;
    if (progress) timer.emplace(*progress, User::WORK_TYPE_DISK_ACCESS);
    // Queued changes hold the lock already; a forced rewrite takes it.
    if (!m_Lock.IsHeld() && !force) return true;
    if (!BeginChange()) {
        QUOR_LOG(Log::ERROR, "Failed to write an archive");
        return false;
    }
    bool result = true;
    for (KeyArchiveFilePair_t& pair : m_Archives[0]) {
        // A pair that cannot be written keeps its queued changes; the others are written all the same.
        if (!pair.file.Write(force, timer ? &*timer : nullptr)) {
            QUOR_LOG(Log::ERROR, "Failed to write an archive");
            result = false;
            m_FailedPairs.insert(pair.file.GetFilename());
        } else {
            m_FailedPairs.erase(pair.file.GetFilename());
        }
    }
    RemoveEmptyPairs();
    EndChange();
    return result;
}

bool Manager::IsArchiveUpToDate(std::string& archiveName) {
    QUOR_LOG(Log::VERBOSE, "(%s)", archiveName.c_str());
    bool result = false;
    if (archiveName.empty()) {
        QUOR_LOG(Log::ERROR, "Empty name");
    } else if (ArchiveFile* pair = FindArchiveByDataName(archiveName)) {
        result = pair->IsUpTodate();
    }
    QUOR_LOG(Log::VERBOSE, "Return value: %s", result ? "TRUE" : "FALSE");
    return result;
}

bool Manager::FlushArchive(std::string& archiveName, bool force, User::AutoUpdateProgress* progress) {
    QUOR_LOG(Log::VERBOSE, "(%s, %s)", archiveName.c_str(), force ? "true" : "false");
    std::optional<User::AutoUpdateProgress::AutoTimer> timer;
    if (progress) timer.emplace(*progress, User::WORK_TYPE_DISK_ACCESS);
    bool result = false;
    ArchiveFile* pair = archiveName.empty() ? nullptr : FindArchiveByDataName(archiveName);
    if (pair && !m_Lock.IsHeld() && !force) {
        result = true;  // nothing is queued without the lock
    } else if (pair) {
        // Taking the lock may read the folder again: the pair is looked up once more.
        pair = BeginChange() ? FindArchiveByDataName(archiveName) : nullptr;
        if (pair) {
            result = pair->Write(force, timer ? &*timer : nullptr);
            if (result)
                m_FailedPairs.erase(pair->GetFilename());
            else
                m_FailedPairs.insert(pair->GetFilename());
            RemoveEmptyPairs();
        }
        EndChange();
    }
    QUOR_LOG(Log::VERBOSE, "Return value: %s", result ? "TRUE" : "FALSE");
    return result;
}

void Manager::DiscardChanges() {
    QUOR_LOG(Log::VERBOSE, "[%s]", m_RootDirectory.c_str());
    for (KeyArchiveFilePair_t& pair : m_Archives[0]) {
        if (pair.file.IsDirty())
            QUOR_LOG(Log::WARNING, "Changes of \"%s/%s\" that were not written are dropped", m_RootDirectory.c_str(),
                     pair.file.GetFilename().c_str());
        pair.file.DiscardChanges();
    }
    m_FailedPairs.clear();
    m_InPlace.clear();
    EndChange();
}

void Manager::GetContents(std::vector<std::string>& contents) const {
    for (const auto& list : m_Archives)
        for (const KeyArchiveFilePair_t& pair : list) pair.file.GetContents(contents);
}

}  // namespace Quor::FileSystem::Impl
