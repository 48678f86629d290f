#include "archive/ArchiveFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "archive/ArchiveFileBuilder.h"
#include "archive/PairCommit.h"
#include "common/AutoUpdateProgressHelper.h"
#include "common/FileSysHelper.h"
#include "common/Log.h"
#include "common/RelativeName.h"
#include "common/SystemErrorText.h"
#include "foundation/CStd/CStd.h"
#include "foundation/UniqueFd.h"

namespace Quor::FileSystem::Impl {

namespace {

bool LessNoCase(const std::string& a, const std::string& b) { return Vorn::std_stricmp(a.c_str(), b.c_str()) < 0; }

bool IsCancelled(const User::AutoUpdateProgress::AutoTimer* timer) {
    if (!timer) return false;
    const signed char* flag = timer->GetAutoUpdateProgress().GetCancelFlag();
    return flag && *flag;
}

unsigned long Address(const void* p) { return static_cast<unsigned long>(reinterpret_cast<uintptr_t>(p)); }

}  // namespace

std::string GetCurrentDirectory() {
    char buffer[512];
    if (!Vorn::std_getcwd(sizeof buffer, buffer)) return {};
    return buffer;
}

bool ArchiveFile::FileToAdd_t::PredicateByFilename::operator()(const FileToAdd_t& a, const FileToAdd_t& b) const {
    return LessNoCase(a.path, b.path);
}

bool ArchiveFile::PathLess::operator()(const std::string& a, const std::string& b) const { return LessNoCase(a, b); }

ArchiveFile::ArchiveFile(const std::string& filename, const std::string& rootDirectory, uint8_t flags)
    : mFilename(filename), m_RootDirectory(rootDirectory) {
    QUOR_LOG(Log::VERBOSE, "(%s, %s, %u) [this->mFilename = %s]", filename.c_str(), rootDirectory.c_str(),
             unsigned{flags}, mFilename.c_str());
}

ArchiveFile::ArchiveFile(const ArchiveFile& other)
    : m_Searchable(other.m_Searchable),
      m_Dirty(other.m_Dirty),
      m_Stale(other.m_Stale),
      m_ReadLock(other.m_ReadLock),
      m_WriteLock(other.m_WriteLock),
      m_ArchiveId(other.m_ArchiveId),
      m_Index(other.m_Index),
      mFilename(other.mFilename),
      m_RootDirectory(other.m_RootDirectory),
      m_TotalSize(other.m_TotalSize),
      m_MustReread(other.m_MustReread),
      m_ReadFailure(other.m_ReadFailure) {}

ArchiveFile& ArchiveFile::operator=(const ArchiveFile& other) {
    if (this == &other) return *this;
    m_Searchable = other.m_Searchable;
    m_Dirty = other.m_Dirty;
    m_Stale = other.m_Stale;
    m_ReadLock = other.m_ReadLock;
    m_WriteLock = other.m_WriteLock;
    m_ArchiveId = other.m_ArchiveId;
    m_Index = other.m_Index;
    mFilename = other.mFilename;
    m_RootDirectory = other.m_RootDirectory;
    m_TotalSize = other.m_TotalSize;
    m_MustReread = other.m_MustReread;
    m_ReadFailure = other.m_ReadFailure;
    return *this;
}

void ArchiveFile::Reset() {
    QUOR_LOG(Log::VERBOSE, "[this->mFilename = %s]", mFilename.c_str());
    m_Searchable = true;
    m_Dirty = false;
    m_Stale = false;
}

bool ArchiveFile::IsUpTodate() const { return !m_Dirty && !m_Stale; }

bool ArchiveFile::SetRootDirectory(const std::string& rootDirectory) {
    QUOR_LOG(Log::VERBOSE, "(%s) [this->mFilename = %s]", rootDirectory.c_str(), mFilename.c_str());
    m_RootDirectory = rootDirectory;
    return true;
}

std::string ArchiveFile::Folder(const std::string& rootDirectory) const {
    return rootDirectory.empty() ? std::string(".") : rootDirectory;
}

bool ArchiveFile::FinishCommit() { return FinishCommit(m_RootDirectory); }

bool ArchiveFile::FinishCommit(const std::string& rootDirectory) {
    if (!m_MustReread) return true;
    if (!Recovered(rootDirectory)) return false;
    if (!Read(rootDirectory, nullptr)) {
        QUOR_LOG(Log::ERROR, "Failed to read archive after writing it out");
        return false;
    }
    if (!m_FilesToAdd.empty() || !m_FilesToDelete.empty() || !m_Placed.empty()) {
        m_Dirty = true;
        m_Searchable = false;
    }
    return true;
}

bool ArchiveFile::Recovered(const std::string& rootDirectory) {
    // The commit was made: its journal is finished, or gone. Anything else leaves it unknown.
    switch (PairCommit::Recover(Folder(rootDirectory), mFilename)) {
        case PairCommit::RecoverResult::kNothing:
        case PairCommit::RecoverResult::kRolledForward:
            return true;
        case PairCommit::RecoverResult::kNotOurs:
        case PairCommit::RecoverResult::kFailed:
            break;
    }
    return false;
}

bool ArchiveFile::Read(bool* invalid) { return Read(m_RootDirectory, invalid); }

bool ArchiveFile::Read(const std::string& rootDirectory, bool* invalid) {
    QUOR_LOG(Log::VERBOSE, "(%s, 0x%08lx) [this->mFilename = %s]", rootDirectory.c_str(), Address(invalid),
             mFilename.c_str());
    const std::string path = Folder(rootDirectory) + "/" + mFilename;
    std::shared_ptr<API::IBuffer> image;
    if (FAILED(Common::FileSysHelper::ReadFileIntoBuffer(path, image)) || !image) {
        QUOR_LOG(Log::ERROR, "Failed to read our archive directory");
        m_ReadFailure = ReadFailure::kUnreadable;
        return false;
    }
    auto parsed = std::make_shared<FileFormat::ParsedIndex>();
    std::string why;
    switch (FileFormat::ParseIndex(image, *parsed, why)) {
        case FileFormat::ParseResult::kOk:
            break;
        case FileFormat::ParseResult::kWrongMagicOrVersion:
            QUOR_LOG(Log::ERROR, "Incorrect magic value or version, invalid archive %s", path.c_str());
            if (invalid) *invalid = true;
            m_ReadFailure = ReadFailure::kWrongFormat;
            return false;
        case FileFormat::ParseResult::kDamaged:
            QUOR_LOG(Log::ERROR, "Damaged archive index %s (%s)", path.c_str(), why.c_str());
            if (invalid) *invalid = true;
            m_ReadFailure = ReadFailure::kInvalid;
            return false;
    }
    if (FileFormat::CheckDataFile(path + "." + FileFormat::skDataFileNameExtension, *parsed, why) !=
        FileFormat::DataCheck::kOk) {
        QUOR_LOG(Log::ERROR, "Archive %s does not match its data file (%s)", path.c_str(), why.c_str());
        m_ReadFailure = ReadFailure::kDataMismatch;
        return false;
    }
    m_Index = std::move(parsed);
    m_ArchiveId = m_Index->header.archiveId;
    m_ReadFailure = ReadFailure::kNone;
    m_MustReread = false;
    GetSize();
    m_Searchable = true;
    m_Dirty = false;
    m_Stale = false;
    return true;
}

bool ArchiveFile::ReadKeepingWholeFiles(std::vector<std::string>& dropped) {
    QUOR_LOG(Log::VERBOSE, "[this->mFilename = %s]", mFilename.c_str());
    dropped.clear();
    const std::string path = Folder(m_RootDirectory) + "/" + mFilename;
    std::shared_ptr<API::IBuffer> image;
    if (FAILED(Common::FileSysHelper::ReadFileIntoBuffer(path, image)) || !image) {
        QUOR_LOG(Log::ERROR, "Failed to read our archive directory");
        return false;
    }
    auto parsed = std::make_shared<FileFormat::ParsedIndex>();
    std::string why;
    if (FileFormat::ParseIndex(image, *parsed, why) != FileFormat::ParseResult::kOk) {
        QUOR_LOG(Log::ERROR, "Damaged archive index %s (%s)", path.c_str(), why.c_str());
        return false;
    }
    uint64_t dataSize = 0;
    {
        const std::string data = path + "." + FileFormat::skDataFileNameExtension;
        Vorn::UniqueFd fd(::open(data.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
        struct stat st;
        if (fd.IsValid() && ::fstat(fd.Get(), &st) == 0 && S_ISREG(st.st_mode))
            dataSize = static_cast<uint64_t>(st.st_size);
    }
    m_Index = std::move(parsed);
    m_ArchiveId = m_Index->header.archiveId;
    m_ReadFailure = ReadFailure::kNone;
    m_MustReread = false;
    ClearQueue();
    for (uint32_t i = 0; i < GetCount(); ++i) {
        const FileFormat::FileListEntry_t& entry = m_Index->entries[i];
        if (uint64_t{entry.dataOffset} + entry.dataSize <= dataSize) continue;
        dropped.emplace_back(m_Index->PathOf(i));
        m_FilesToDelete.insert(dropped.back());
    }
    GetSize();
    m_Stale = false;
    // Rewritten even when every file is whole: the new pair gets a data file of its own.
    m_Dirty = true;
    m_Searchable = false;
    return true;
}

bool ArchiveFile::Write(bool force, User::AutoUpdateProgress::AutoTimer* timer) {
    QUOR_LOG(Log::VERBOSE, "(%s, 0x%08lx) [this->mFilename = %s]", force ? "true" : "false", Address(timer),
             mFilename.c_str());
    if (force && !m_InPlacePath.empty()) {
        // Refused before the pair is marked: a forced write that cannot happen leaves nothing due.
        QUOR_LOG(Log::ERROR, "A file is still being written into %s", mFilename.c_str());
        return false;
    }
    if (force) m_Dirty = true;
    return Write(m_RootDirectory, timer);
}

bool ArchiveFile::Write(const std::string& rootDirectory, User::AutoUpdateProgress::AutoTimer* timer) {
    QUOR_LOG(Log::VERBOSE, "(%s, 0x%08lx) [this->mFilename = %s]", rootDirectory.c_str(), Address(timer),
             mFilename.c_str());
    if (!m_Dirty) {
        QUOR_LOG(Log::VERBOSE, "Archive files does not need to be written");
        return true;
    }
    if (!m_Handles.empty()) {
        QUOR_LOG(Log::ERROR, "Files in the archive are still locked.");
        return false;
    }
    if (!m_InPlacePath.empty()) {
        QUOR_LOG(Log::ERROR, "A file is still being written into %s", mFilename.c_str());
        return false;
    }
    if (m_MustReread) {
        // A committed rewrite was not read back: finish it and read it before building on it.
        if (!FinishCommit(rootDirectory)) return false;
        if (!m_Dirty) return true;
    }
    return Rewrite(rootDirectory, timer);
}

bool ArchiveFile::Rewrite(const std::string& rootDirectory, User::AutoUpdateProgress::AutoTimer* timer) {
    const std::string folder = Folder(rootDirectory);
    const std::string indexPath = folder + "/" + mFilename;
    const std::string dataPath = indexPath + "." + FileFormat::skDataFileNameExtension;
    ArchiveFileBuilder builder(m_ArchiveId);
    if (timer) {
        User::AutoUpdateProgressHelper::SetStringDataToFilenameFromPath(timer->GetAutoUpdateProgress(), indexPath);
        timer->GetAutoUpdateProgress().Tick(0);
    }

    HRESULT hr = S_OK;
    const uint32_t count = GetCount();
    for (uint32_t i = 0; i < count && SUCCEEDED(hr); ++i) {
        if (IsCancelled(timer)) {
            QUOR_LOG(Log::ERROR, "Cancellation request detected, aborting");
            hr = E_ABORT;
            break;
        }
        const FileFormat::FileListEntry_t& entry = m_Index->entries[i];
        const char* path = m_Index->PathOf(i);
        if (!IsMarkedForDeletion(path)) hr = builder.AddStretch(path, dataPath, entry.dataOffset, entry.dataSize);
    }
    // Every queued addition is stored, also one whose path was deleted first: that is how a stored
    // file is replaced.
    for (auto addition = m_FilesToAdd.begin(); addition != m_FilesToAdd.end() && SUCCEEDED(hr); ++addition) {
        if (IsCancelled(timer)) {
            QUOR_LOG(Log::ERROR, "Cancellation request detected, aborting");
            hr = E_ABORT;
            break;
        }
        hr = builder.Add(addition->first, addition->second, 0, 0);
    }
    for (auto placed = m_Placed.begin(); placed != m_Placed.end() && SUCCEEDED(hr); ++placed)
        hr = builder.AddPlaced(placed->first, placed->second.first, placed->second.second);
    if (FAILED(hr)) return false;

    std::string temp;
    if (m_Staged) {
        // The files written in place stay where they are; the rest of the pair is written after them.
        if (FAILED(builder.WriteOnto(m_Staged->IndexPath(), m_Staged->DataFd(), m_Staged->Length(), timer))) {
            QUOR_LOG(Log::ERROR, "Failed to write archive file");
            m_Staged->Rewind();  // the next rewrite cuts the data file back to the placed files too
            return false;
        }
        temp = m_Staged->IndexPath();
    } else if (FAILED(builder.WriteTemporary(folder, temp, timer))) {
        QUOR_LOG(Log::ERROR, "Failed to write archive file");
        return false;
    }
    // A commit that does not start leaves the files written in place where they are, for the next
    // rewrite to build on; a pair built from copies alone is built again from its sources.
    const PairCommit::CommitResult committed = PairCommit::Commit(
        folder, mFilename, temp, m_Staged ? PairCommit::BuildOnFailure::kKeep : PairCommit::BuildOnFailure::kRemove);
    if (committed != PairCommit::CommitResult::kCommitted) {
        Log::Internal::LogGetLastError(__PRETTY_FUNCTION__);
        QUOR_LOG(Log::ERROR, "Failed to rename built archive to replace existing one");
        if (committed == PairCommit::CommitResult::kNotStarted) return false;
        if (committed == PairCommit::CommitResult::kBuildRemoved) {
            DropPlaced();
            return false;
        }
    }
    if (m_Staged) m_Staged->Release();  // renamed into the pair, or the journal names them

    // From the commit on, the queued changes are part of the pair on disk.
    ClearQueue();
    m_Stale = true;
    if (committed != PairCommit::CommitResult::kCommitted) {
        m_MustReread = true;
        m_Searchable = false;
        return false;
    }
    if (!Read(rootDirectory, nullptr)) {
        QUOR_LOG(Log::ERROR, "Failed to read archive after writing it out");
        m_MustReread = true;
        m_Searchable = false;
        return false;
    }
    if (IsCancelled(timer)) {
        // The new pair is in place and read; the job still learns that it was cancelled.
        QUOR_LOG(Log::ERROR, "Cancellation request detected, aborting");
        return false;
    }
    return true;
}

bool ArchiveFile::Find(const std::string& path) {
    QUOR_LOG(Log::VERBOSE, "(%s) [this->mFilename = %s]", path.c_str(), mFilename.c_str());
    return Find(FileFormat::HashString(path.c_str()), path) >= 0;
}

int32_t ArchiveFile::Find(uint32_t hash, const std::string& path) const {
    if (!m_Index) return -1;
    return static_cast<int32_t>(m_Index->Find(hash, path.c_str()));
}

bool ArchiveFile::Search(const std::string& path, uint32_t& offset, uint32_t& size) {
    QUOR_LOG(Log::VERBOSE, "(%s) [this->mFilename = %s]", path.c_str(), mFilename.c_str());
    if (path.empty()) {
        QUOR_LOG(Log::ERROR, "Empty file name");
        offset = 0;
        size = 0;
        return false;
    }
    if (!m_Searchable) {
        QUOR_LOG(Log::ERROR, "Must flush archive file before it can be searched.");
        return false;
    }
    const uint32_t hash = FileFormat::HashString(path.c_str());
    int32_t position = Find(hash, path);
    if (position < 0) return false;
    if (m_Dirty && m_TotalSize != 0) {
        // A forced rewrite is due: do it, then answer from the pair as written.
        if (!Write(m_RootDirectory, nullptr)) return false;
        position = Find(hash, path);
        if (position < 0) return false;
    }
    offset = m_Index->entries[position].dataOffset;
    size = m_Index->entries[position].dataSize;
    return true;
}

uint32_t ArchiveFile::GetSize() {
    uint64_t total = 0;
    if (m_Index)
        for (const auto& entry : m_Index->entries) total += entry.dataSize;
    m_TotalSize = static_cast<uint32_t>(std::min<uint64_t>(total, 0xFFFFFFFFull));
    return m_TotalSize;
}

uint32_t ArchiveFile::GetSizeOfFile(const std::string& path) const {
    const int32_t position = Find(FileFormat::HashString(path.c_str()), path);
    return position < 0 ? 0 : m_Index->entries[position].dataSize;
}

uint64_t ArchiveFile::GetProjectedSize() { return uint64_t{GetSize()} + m_BytesToAdd; }

bool ArchiveFile::IsMarkedForDeletion(const std::string& path) const {
    return m_FilesToDelete.count(path) != 0;
}

bool ArchiveFile::IsMarkedForAdding(const std::string& path) const {
    return m_FilesToAdd.count(path) != 0 || m_Placed.count(path) != 0 || IsInPlace(path);
}

void ArchiveFile::ClearQueue() {
    // Every queued file goes with its bytes in the size accounting, the ones written in place too.
    m_FilesToAdd.clear();
    m_FilesToDelete.clear();
    m_Placed.clear();
    m_Staged.reset();
    m_InPlacePath.clear();
    m_BytesToAdd = 0;
}

void ArchiveFile::AddToProgressTotal(User::AutoUpdateProgress* progress, int64_t delta) {
    progress->DeltaBytesTotal(User::WORK_TYPE_DISK_ACCESS, delta);
    progress->Tick(0);
}

bool ArchiveFile::Add(const std::string& path, const std::string& diskPath, User::AutoUpdateProgress* progress) {
    QUOR_LOG(Log::VERBOSE, "(%s, %s, 0x%08lx) [this->mFilename = %s]", path.c_str(), diskPath.c_str(),
             Address(progress), mFilename.c_str());
    if (!CheckNewPath(path, false)) return false;
    if (!m_FilesToAdd.emplace(path, diskPath).second) {
        QUOR_LOG(Log::ERROR, "File already marked for adding");
        return false;
    }

    struct stat st;
    const bool measured = ::stat(diskPath.c_str(), &st) == 0;
    if (measured) {
        CountAddition(progress, static_cast<uint64_t>(st.st_size));
    } else {
        if (progress && !m_Dirty) AddToProgressTotal(progress, GetSize());
        if (progress) QUOR_LOG(Log::ERROR, "Failed to get file size");
        m_Searchable = false;
        m_Dirty = true;
    }
    return true;
}

bool ArchiveFile::CheckNewPath(const std::string& path, bool quiet) const {
    if (path.empty()) {
        if (!quiet) QUOR_LOG(Log::ERROR, "Empty file name");
        return false;
    }
    if (!Common::IsValidRelativeName(path)) {
        if (!quiet) QUOR_LOG(Log::ERROR, "Invalid file name \"%s\"", path.c_str());
        return false;
    }
    if (Find(FileFormat::HashString(path.c_str()), path) >= 0 && !IsMarkedForDeletion(path)) {
        if (!quiet) QUOR_LOG(Log::ERROR, "Filed already in archive");
        return false;
    }
    if (m_Placed.count(path) != 0 || IsInPlace(path)) {
        if (!quiet) QUOR_LOG(Log::ERROR, "File already marked for adding");
        return false;
    }
    return true;
}

void ArchiveFile::DropPlaced() {
    // Their bytes went with the build that held them: they are no longer queued, and the caller
    // of the failed write learns of it.
    for (const auto& [path, where] : m_Placed) {
        QUOR_LOG(Log::ERROR, "\"%s\" written in place for %s was removed with its build; it is not stored",
                 path.c_str(), mFilename.c_str());
        m_BytesToAdd -= std::min(m_BytesToAdd, where.second);
    }
    m_Placed.clear();
    if (m_Staged) m_Staged->Release();  // the commit removed both files
    m_Staged.reset();
}

bool ArchiveFile::IsInPlace(const std::string& path) const {
    return !m_InPlacePath.empty() && !PathLess()(path, m_InPlacePath) && !PathLess()(m_InPlacePath, path);
}

bool ArchiveFile::TakesInPlace(const std::string& path) const {
    return m_InPlacePath.empty() && CheckNewPath(path, true) && m_FilesToAdd.count(path) == 0;
}

void ArchiveFile::CountAddition(User::AutoUpdateProgress* progress, uint64_t size) {
    m_BytesToAdd += size;
    if (progress) {
        if (!m_Dirty) AddToProgressTotal(progress, GetSize());
        AddToProgressTotal(progress, static_cast<int64_t>(size));
    }
    m_Searchable = false;
    m_Dirty = true;
}

Vorn::UniqueFd ArchiveFile::BeginInPlace(const std::string& path) {
    QUOR_LOG(Log::VERBOSE, "(%s) [this->mFilename = %s]", path.c_str(), mFilename.c_str());
    // A refusal says nothing: Add, which the caller turns to, says why.
    if (!TakesInPlace(path)) return {};
    if (!m_Staged) m_Staged = StagedData::Create(Folder(m_RootDirectory));
    if (!m_Staged) return {};
    Vorn::UniqueFd output;
    if (m_Staged->Rewind()) {
        output = Vorn::UniqueFd(::fcntl(m_Staged->DataFd(), F_DUPFD_CLOEXEC, 0));
        if (!output.IsValid())
            QUOR_LOG(Log::ERROR, "Failed to open \"%s\" for writing \"%s\" into %s: %s", m_Staged->DataPath().c_str(),
                     path.c_str(), mFilename.c_str(), Common::SystemErrorText(errno).c_str());
    }
    if (!output.IsValid()) {
        if (m_Placed.empty()) m_Staged.reset();
        return {};
    }
    m_InPlacePath = path;
    return output;
}

bool ArchiveFile::EndInPlace(const std::string& path, uint64_t size, bool keep, User::AutoUpdateProgress* progress) {
    QUOR_LOG(Log::VERBOSE, "(%s, %llu, %s) [this->mFilename = %s]", path.c_str(), static_cast<unsigned long long>(size),
             keep ? "true" : "false", mFilename.c_str());
    if (!m_Staged || !IsInPlace(path)) {
        QUOR_LOG(Log::ERROR, "\"%s\" is not being written into %s", path.c_str(), mFilename.c_str());
        return false;
    }
    m_InPlacePath.clear();
    bool kept = false;
    if (keep) {
        const int64_t written = m_Staged->Pending();
        if (written < 0) {
            QUOR_LOG(Log::ERROR, "Failed to measure \"%s\" written into \"%s\" for %s: %s; it is not stored",
                     path.c_str(), m_Staged->DataPath().c_str(), mFilename.c_str(),
                     Common::SystemErrorText(errno).c_str());
        } else if (static_cast<uint64_t>(written) != size || size > FileFormat::skMaxDataSize) {
            QUOR_LOG(Log::ERROR, "\"%s\" was written into \"%s\" for %s with %lld bytes instead of %llu; it is not stored",
                     path.c_str(), m_Staged->DataPath().c_str(), mFilename.c_str(), static_cast<long long>(written),
                     static_cast<unsigned long long>(size));
        } else if (!CheckNewPath(path, true) || m_FilesToAdd.count(path) != 0) {
            QUOR_LOG(Log::ERROR, "\"%s\" written into \"%s\" can no longer be stored in %s; it is not stored",
                     path.c_str(), m_Staged->DataPath().c_str(), mFilename.c_str());
        } else {
            m_Placed.emplace(path, std::make_pair(m_Staged->Length(), size));
            m_Staged->Extend(size);
            CountAddition(progress, size);
            kept = true;
        }
    }
    if (!kept) {
        // What was written goes; the pair is left as it was before the begin.
        if (m_Placed.empty())
            m_Staged.reset();
        else
            m_Staged->Rewind();  // else cut off by the next BeginInPlace or rewrite
    }
    return kept;
}

std::string ArchiveFile::InPlaceDataPath() const { return m_Staged ? m_Staged->DataPath() : std::string(); }

bool ArchiveFile::Delete(const std::string& path, User::AutoUpdateProgress* progress) {
    QUOR_LOG(Log::VERBOSE, "(%s, 0x%08lx) [this->mFilename = %s]", path.c_str(), Address(progress),
             mFilename.c_str());
    if (path.empty()) {
        QUOR_LOG(Log::ERROR, "Empty file name");
        return false;
    }
    if (!m_FilesToDelete.insert(path).second) {
        QUOR_LOG(Log::ERROR, "File already marked for deleteing");
        return false;
    }
    if (progress) {
        if (!m_Dirty) AddToProgressTotal(progress, GetSize());
        AddToProgressTotal(progress, -static_cast<int64_t>(GetSizeOfFile(path)));
    }
    m_Searchable = false;
    m_Dirty = true;
    return true;
}

void ArchiveFile::DiscardChanges() {
    QUOR_LOG(Log::VERBOSE, "[this->mFilename = %s]", mFilename.c_str());
    ClearQueue();
    if (m_MustReread) {
        // A commit that cannot be finished yet leaves the pair changed: its writer keeps it.
        if (!Recovered(m_RootDirectory)) return;
        if (!Read(m_RootDirectory, nullptr)) {
            QUOR_LOG(Log::ERROR, "Failed to read archive after writing it out");
            return;  // still dirty: the next write tries the read again
        }
    }
    m_Dirty = false;
    m_Searchable = m_Index != nullptr;
}

void ArchiveFile::GetContents(std::vector<std::string>& contents) const {
    const uint32_t count = GetCount();
    for (uint32_t i = 0; i < count; ++i) contents.emplace_back(m_Index->PathOf(i));
}

const FileFormat::FileListEntry_t* ArchiveFile::GetFileListEntry(unsigned index) const {
    return m_Index ? &m_Index->entries[index] : nullptr;
}

uint32_t ArchiveFile::GetCount() const { return m_Index ? static_cast<uint32_t>(m_Index->entries.size()) : 0; }

const char* ArchiveFile::GetPath(unsigned index) const { return m_Index ? m_Index->PathOf(index) : nullptr; }

bool ArchiveFile::AddFileHandle(uint32_t& handle) {
    if (HasFileHandle(handle)) {
        handle = 0;
        return false;
    }
    m_Handles.push_back(handle);
    return true;
}

bool ArchiveFile::RemoveFileHandle(uint32_t handle) {
    auto at = std::find(m_Handles.begin(), m_Handles.end(), handle);
    if (at == m_Handles.end()) return false;
    m_Handles.erase(at);
    return true;
}

bool ArchiveFile::HasFileHandle(uint32_t handle) const {
    return std::find(m_Handles.begin(), m_Handles.end(), handle) != m_Handles.end();
}

int32_t ArchiveFile::GetNumHandles() const { return static_cast<int32_t>(m_Handles.size()); }

}  // namespace Quor::FileSystem::Impl
