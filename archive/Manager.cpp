#include "archive/Manager.h"

#include <sys/stat.h>

#include <optional>

#include "archive/FileFormat.h"
#include "archive/PairCommit.h"
#include "archive/PairLimit.h"
#include "common/Log.h"
#include "foundation/CStd/CStd.h"
#include "foundation/File/FileIterator.h"
#include "foundation/Random.h"

namespace Quor::FileSystem::Impl {

namespace {

constexpr uint8_t kPairFlags = 10;
constexpr uint32_t kNameAttempts = 1000;
constexpr int kHandleDraws = 11;
const std::string kDataSuffix = "." + FileFormat::skDataFileNameExtension;

// Names of the non-folder entries matching pattern, from the file iterator (client API skipped).
std::vector<std::string> ListFiles(const std::string& pattern) {
    std::vector<std::string> names;
    Vorn::File::FileIteratorPtr it = Vorn::File::CreateFileIterator(pattern.c_str(), Vorn::File::FILE_ITERATOR_NO_CLIENT_API);
    for (; it && it->HasFile(); it->Advance())
        if (!it->IsCurrentFileDirectory()) names.emplace_back(it->GetCurrentFileName());
    return names;
}

std::optional<uint64_t> DiskFileSize(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return static_cast<uint64_t>(st.st_size);
}

}  // namespace

Manager::~Manager() {
    QUOR_LOG(Log::VERBOSE, "[%s]", m_RootDirectory.c_str());
    WriteArchiveFiles(false, nullptr);
}

bool Manager::CheckRootDirectory(const std::string& rootDirectory) {
    if (rootDirectory.empty()) return false;
    return Vorn::std_mkdir_tree(rootDirectory.c_str()) || Vorn::std_dir_exists(rootDirectory.c_str());
}

std::string Manager::Folder() const { return m_RootDirectory.empty() ? std::string(".") : m_RootDirectory; }

bool Manager::SetRootDirectory(const std::string& rootDirectory, const std::string& namePrefix) {
    QUOR_LOG(Log::VERBOSE, "(%s, %s)", rootDirectory.c_str(), namePrefix.c_str());
    m_RootDirectory = rootDirectory;
    return Initialize(namePrefix);
}

bool Manager::Initialize(const std::string& namePrefix) {
    QUOR_LOG(Log::VERBOSE, "(%s)", namePrefix.c_str());
    m_NamePrefix = namePrefix.empty() ? std::string("Archive") : namePrefix;
    const std::string folder = Folder();
    const std::string index = "." + FileFormat::skDirectoryFileNameExtension;

    // Rewrites that were committed but cut off are finished; those never committed are dropped.
    const std::string journalSuffix = PairCommit::JournalName("");
    for (const std::string& journal : ListFiles(folder + "/*" + index + journalSuffix))
        PairCommit::Recover(folder, journal.substr(0, journal.size() - journalSuffix.size()));
    PairCommit::RemoveLeftovers(folder);

    for (const std::string& name : ListFiles(folder + "/*" + index)) {
        if (!LoadArchiveFile(name)) {
            QUOR_LOG(Log::WARNING, "Failed to load the following archive: %s", name.c_str());
            return false;
        }
    }
    return true;
}

bool Manager::LoadArchiveFile(const std::string& name) {
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
        } else {
            QUOR_LOG(Log::WARNING, "Zero sized archive will be deleted and ignored");
            Vorn::std_remove(path.c_str());
        }
        return true;
    }
    if (invalid) {
        QUOR_LOG(Log::WARNING, "Failed to open %s, archive will be deleted and ignored", path.c_str());
        Vorn::std_remove(path.c_str());
        return true;
    }
    if (pair.GetReadFailure() == ArchiveFile::ReadFailure::kDataMismatch) {
        QUOR_LOG(Log::WARNING, "Archive %s does not match its data file; it is ignored and kept", path.c_str());
        return true;
    }
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
    // An index of that name left on disk (one that was ignored at load) is never overwritten.
    struct stat st;
    if (::lstat((Folder() + "/" + name).c_str(), &st) == 0) return nullptr;
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
    for (KeyArchiveFilePair_t& pair : m_Archives[0]) {
        if (pair.file.IsMarkedForAdding(path)) {
            QUOR_LOG(Log::ERROR, "File already marked for adding");
            return false;
        }
        if (pair.file.Find(path) && !pair.file.IsMarkedForDeletion(path)) {
            QUOR_LOG(Log::ERROR, "Filed already in archive");
            return false;
        }
    }
    const uint64_t size = DiskFileSize(source).value_or(0);
    const uint64_t limit = GetMaxPairDataSize();
    if (size > limit) {
        QUOR_LOG(Log::ERROR, "File \"%s\" is too large for an archive (%llu bytes)", source.c_str(),
                 static_cast<unsigned long long>(size));
        return false;
    }
    for (KeyArchiveFilePair_t& pair : m_Archives[0])
        if (pair.file.GetProjectedSize() + size <= limit) return pair.file.Add(path, source, progress);
    ArchiveFile* pair = CreateArchiveFile(path);
    if (!pair) return false;
    return pair->Add(path, source, progress);
}

bool Manager::Delete(const std::string& path, User::AutoUpdateProgress* progress) {
    QUOR_LOG(Log::VERBOSE, "(%s)", path.c_str());
    if (path.empty()) {
        QUOR_LOG(Log::ERROR, "Empty file name");
        return false;
    }
    // The pair that stores the path removes it; a path stored nowhere is marked in the first
    // pair that accepts it.
    for (KeyArchiveFilePair_t& pair : m_Archives[0])
        if (pair.file.Find(path)) return pair.file.Delete(path, progress);
    for (KeyArchiveFilePair_t& pair : m_Archives[0])
        if (pair.file.Delete(path, progress)) return true;
    return false;
}

bool Manager::Find(const std::string& path, std::string& archiveName, uint32_t& offset, uint32_t& size) {
    QUOR_LOG(Log::VERBOSE, "(%s)", path.c_str());
    archiveName.clear();
    offset = 0;
    size = 0;
    if (path.empty()) {
        QUOR_LOG(Log::ERROR, "Empty name");
    } else {
        for (KeyArchiveFilePair_t& pair : m_Archives[0]) {
            if (pair.file.Search(path, offset, size)) {
                archiveName = pair.file.GetFilename() + kDataSuffix;
                QUOR_LOG(Log::VERBOSE, "Found file <%s> in Archive <%s>", path.c_str(), archiveName.c_str());
                return true;
            }
        }
    }
    QUOR_LOG(Log::VERBOSE, "Failed to find file <%s>", path.c_str());
    return false;
}

bool Manager::FileExists(const std::string& path) {
    if (path.empty()) {
        QUOR_LOG(Log::ERROR, "Empty file name");
        return false;
    }
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
    return pair && pair->RemoveFileHandle(handle);
}

bool Manager::WriteArchiveFiles(bool force, User::AutoUpdateProgress* progress) {
    QUOR_LOG(Log::VERBOSE, "%s, 0x%08lx)", force ? "true" : "false",
             static_cast<unsigned long>(reinterpret_cast<uintptr_t>(progress)));
    std::optional<User::AutoUpdateProgress::AutoTimer> timer;
    if (progress) timer.emplace(*progress, User::WORK_TYPE_DISK_ACCESS);
    bool result = true;
    for (KeyArchiveFilePair_t& pair : m_Archives[0]) {
        // A pair that cannot be written keeps its queued changes; the others are written all the same.
        if (!pair.file.Write(force, timer ? &*timer : nullptr)) {
            QUOR_LOG(Log::ERROR, "Failed to write an archive");
            result = false;
        }
    }
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
    if (!archiveName.empty())
        if (ArchiveFile* pair = FindArchiveByDataName(archiveName)) result = pair->Write(force, timer ? &*timer : nullptr);
    QUOR_LOG(Log::VERBOSE, "Return value: %s", result ? "TRUE" : "FALSE");
    return result;
}

void Manager::GetContents(std::vector<std::string>& contents) const {
    for (const auto& list : m_Archives)
        for (const KeyArchiveFilePair_t& pair : list) pair.file.GetContents(contents);
}

}  // namespace Quor::FileSystem::Impl
