#include "archive/ArchiveFileBuilder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "archive/CopyStretch.h"
#include "archive/Crc32.h"
#include "archive/FileFormat.h"
#include "archive/PairCommit.h"
#include "archive/PairLimit.h"
#include "common/CRT.h"
#include "common/Log.h"
#include "common/RegularFile.h"
#include "common/StringTable.h"
#include "common/SystemErrorText.h"
#include "common/UniqueFile.h"
#include "foundation/ByteOrder.h"
#include "foundation/CStd/CStd.h"
#include "foundation/UniqueFd.h"

namespace Quor::FileSystem::Impl {

namespace {

void ThrowOnTRUE(const signed char* flag) {
    if (flag && *flag) throw std::runtime_error("Cancelled.");
}

[[noreturn]] void ThrowSystem(const char* what) {
    const std::string text = std::string(what) + ": " + Common::SystemErrorText(errno);
    QUOR_LOG(Log::ERROR, "%s", text.c_str());
    throw std::runtime_error(text);
}

void WriteAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) ThrowSystem("Failed to write to the archive data file");
        data += n;
        size -= static_cast<size_t>(n);
    }
}

// Copies length bytes from offset of source to the current end of destination.
void AppendBinaryFile(FILE* source, uint64_t offset, uint64_t length, FILE* destination, const signed char* cancel) {
    try {
        const CopyResult result = CopyStretch(fileno(source), offset, length, fileno(destination), cancel, true);
        if (result != CopyResult::kOk) throw std::runtime_error(CopyResultText(result));
    } catch (const std::exception&) {
        QUOR_LOG_TAG(Log::ERROR,
                     "void Quor::FileSystem::Impl::{anonymous}::AppendBinaryFile(FILE *, SIZE_T, SIZE_T, FILE *, "
                     "const BOOL *)",
                     "(0x%08lx, %d, 0x%08lx)", static_cast<unsigned long>(reinterpret_cast<uintptr_t>(source)),
                     static_cast<int>(length), static_cast<unsigned long>(reinterpret_cast<uintptr_t>(destination)));
        throw;
    }
}

}  // namespace

bool ArchiveFileBuilder::FileToAdd_t::PredicateByFilename::operator()(const FileToAdd_t& a, const FileToAdd_t& b) const {
    return Vorn::std_stricmp(a.path.c_str(), b.path.c_str()) < 0;
}

bool ArchiveFileBuilder::FileToAdd_t::PredicateByDiskLocation::operator()(const FileToAdd_t& a,
                                                                          const FileToAdd_t& b) const {
    const int order = a.diskPath.compare(b.diskPath);
    return order < 0 || (order == 0 && a.offset < b.offset);
}

ArchiveFileBuilder::ArchiveFileBuilder(unsigned archiveId) : m_ArchiveId(archiveId) {}

namespace {

// Registers a stored path once, without regard to case.
bool RegisterPath(std::unordered_set<std::string>& lowered, const std::string& path) {
    if (path.empty()) {
        QUOR_LOG(Log::ERROR, "Empty file name");
        return false;
    }
    std::string key = path;
    for (char& c : key)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (!lowered.insert(std::move(key)).second) {
        QUOR_LOG(Log::ERROR, "File already marked for adding");
        return false;
    }
    return true;
}

}  // namespace

HRESULT ArchiveFileBuilder::Register(FileToAdd_t file) {
    if (!RegisterPath(m_Lowered, file.path)) return E_FAIL;
    m_Files.push_back(std::move(file));
    return S_OK;
}

HRESULT ArchiveFileBuilder::AddPlaced(const std::string& path, uint64_t offset, uint64_t size) {
    if (!RegisterPath(m_Lowered, path)) return E_FAIL;
    m_Placed.push_back(Placed_t{path, offset, size});
    return S_OK;
}

HRESULT ArchiveFileBuilder::Add(const std::string& path, const std::string& diskPath, unsigned offset, unsigned size) {
    FileToAdd_t file{path, diskPath, offset, size, size == 0};
    if (file.wholeFile) file.offset = 0;
    return Register(std::move(file));
}

HRESULT ArchiveFileBuilder::AddStretch(const std::string& path, const std::string& diskPath, unsigned offset,
                                       unsigned size) {
    return Register(FileToAdd_t{path, diskPath, offset, size, false});
}

namespace {

constexpr int kTemporaryNameAttempts = 100;
constexpr mode_t kPairFileMode = 0644;

// Creates path, never through a link and never over an existing file.
Vorn::UniqueFd CreateNew(const std::string& path) {
    return Vorn::UniqueFd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kPairFileMode));
}

}  // namespace

HRESULT ArchiveFileBuilder::Write(const std::string& indexPath, User::AutoUpdateProgress::AutoTimer* timer) {
    const std::string dataPath = indexPath + "." + FileFormat::skDataFileNameExtension;
    Vorn::UniqueFd index = CreateNew(indexPath);
    if (!index.IsValid()) {
        QUOR_LOG(Log::ERROR, "Failed to create \"%s\": %s", indexPath.c_str(), Common::SystemErrorText(errno).c_str());
        return E_FAIL;
    }
    Vorn::UniqueFd data = CreateNew(dataPath);
    if (!data.IsValid()) {
        QUOR_LOG(Log::ERROR, "Failed to create \"%s\": %s", dataPath.c_str(), Common::SystemErrorText(errno).c_str());
        ::unlink(indexPath.c_str());
        return E_FAIL;
    }
    const HRESULT hr = WriteTo(index.Release(), data.Release(), indexPath, 0, timer);
    if (FAILED(hr)) {
        ::unlink(indexPath.c_str());
        ::unlink(dataPath.c_str());
    }
    return hr;
}

bool CreateTemporaryPair(const std::string& folder, std::string& indexPath, Vorn::UniqueFd& index,
                         Vorn::UniqueFd& data) {
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        std::string name = folder + "/TMPXXXXXX";
        Vorn::UniqueFd created(::mkostemp(name.data(), O_CLOEXEC));
        if (!created.IsValid()) {
            QUOR_LOG(Log::ERROR, "Failed to create a temporary file in \"%s\": %s", folder.c_str(),
                     Common::SystemErrorText(errno).c_str());
            return false;
        }
        const std::string dataPath = name + "." + FileFormat::skDataFileNameExtension;
        Vorn::UniqueFd dataFd(::open(dataPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kPairFileMode));
        if (!dataFd.IsValid()) {
            // Something already holds the data file's name: take another name.
            const int error = errno;
            ::unlink(name.c_str());
            if (error == EEXIST) continue;
            QUOR_LOG(Log::ERROR, "Failed to create \"%s\": %s", dataPath.c_str(), Common::SystemErrorText(error).c_str());
            return false;
        }
        ::fchmod(created.Get(), kPairFileMode);
        indexPath = std::move(name);
        index = std::move(created);
        data = std::move(dataFd);
        return true;
    }
    QUOR_LOG(Log::ERROR, "No free temporary name in \"%s\"", folder.c_str());
    return false;
}

HRESULT ArchiveFileBuilder::WriteTemporary(const std::string& folder, std::string& tempIndex,
                                           User::AutoUpdateProgress::AutoTimer* timer) {
    tempIndex.clear();
    std::string name;
    Vorn::UniqueFd index, data;
    if (!CreateTemporaryPair(folder, name, index, data)) return E_FAIL;
    const HRESULT hr = WriteTo(index.Release(), data.Release(), name, 0, timer);
    if (FAILED(hr)) {
        ::unlink(name.c_str());
        ::unlink((name + "." + FileFormat::skDataFileNameExtension).c_str());
        return hr;
    }
    tempIndex = name;
    return S_OK;
}

HRESULT ArchiveFileBuilder::WriteOnto(const std::string& indexPath, int dataFd, uint64_t placedLength,
                                      User::AutoUpdateProgress::AutoTimer* timer) {
    for (const Placed_t& placed : m_Placed)
        if (placed.offset > placedLength || placed.size > placedLength - placed.offset) {
            QUOR_LOG(Log::ERROR, "\"%s\" does not lie in the %llu bytes written in place", placed.path.c_str(),
                     static_cast<unsigned long long>(placedLength));
            return E_FAIL;
        }
    Vorn::UniqueFd index(::open(indexPath.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC));
    Vorn::UniqueFd data(::fcntl(dataFd, F_DUPFD_CLOEXEC, 0));
    if (!index.IsValid() || !data.IsValid()) {
        QUOR_LOG(Log::ERROR, "Failed to open \"%s\": %s", indexPath.c_str(), Common::SystemErrorText(errno).c_str());
        return E_FAIL;
    }
    const off_t end = static_cast<off_t>(placedLength);
    if (::ftruncate(data.Get(), end) != 0 || ::lseek(data.Get(), end, SEEK_SET) != end) {
        QUOR_LOG(Log::ERROR, "Failed to prepare the data file of \"%s\": %s", indexPath.c_str(),
                 Common::SystemErrorText(errno).c_str());
        return E_FAIL;
    }
    return WriteTo(index.Release(), data.Release(), indexPath, placedLength, timer);
}

HRESULT ArchiveFileBuilder::WriteTo(int indexFd, int dataFd, const std::string& indexPath, uint64_t placedLength,
                                    User::AutoUpdateProgress::AutoTimer* timer) {
    using FileFormat::FileListEntry_t;
    m_BytesWritten = 0;
    const signed char* cancel = timer ? timer->GetAutoUpdateProgress().GetCancelFlag() : nullptr;
    const std::string dataPath = indexPath + "." + FileFormat::skDataFileNameExtension;
    Common::UniqueFile index(::fdopen(indexFd, "wb"));
    if (!index) ::close(indexFd);
    Common::UniqueFile data(::fdopen(dataFd, "wb"));
    if (!data) ::close(dataFd);
    try {
        if (!index || !data) ThrowSystem("Failed to open the new archive files");
        ThrowOnTRUE(cancel);

        std::vector<FileToAdd_t> files = m_Files;
        std::stable_sort(files.begin(), files.end(), FileToAdd_t::PredicateByFilename());
        std::stable_sort(files.begin(), files.end(), FileToAdd_t::PredicateByDiskLocation());

        const uint64_t limit = GetMaxPairDataSize();
        std::vector<FileListEntry_t> entries;
        entries.reserve(m_Placed.size() + files.size());
        Common::StringTable::Builder paths;
        // The placed files are in the data file already; the others follow them.
        if (placedLength > limit) throw std::runtime_error("Archive data would pass its size limit");
        for (const Placed_t& placed : m_Placed) {
            if (timer) {
                timer->DeltaBytesCompleted(static_cast<int64_t>(placed.size));
                timer->GetAutoUpdateProgress().Tick(0);
            }
            m_BytesWritten += placed.size;
            FileListEntry_t entry;
            entry.hash = FileFormat::HashString(placed.path.c_str());
            entry.dataOffset = static_cast<uint32_t>(placed.offset);
            entry.dataSize = static_cast<uint32_t>(placed.size);
            entry.pathIndex = paths.Add(placed.path);
            entries.push_back(entry);
        }
        const std::string* sourcePath = nullptr;
        Common::UniqueFile source;
        uint64_t runStart = 0, runLength = 0, dataOffset = placedLength;
        for (const FileToAdd_t& file : files) {
            ThrowOnTRUE(cancel);
            const bool sameSource = sourcePath && file.diskPath == *sourcePath;
            const bool contiguous = sameSource && runStart + runLength == file.offset;
            if (!contiguous && runLength != 0) AppendBinaryFile(source.get(), runStart, runLength, data.get(), cancel);
            if (!sameSource) {
                source.reset(Common::OpenRegularFileStream(file.diskPath));
                if (!source) {
                    const std::string text = "Failed to open \"" + file.diskPath + "\": " + Common::RegularFileErrorText(errno);
                    QUOR_LOG(Log::ERROR, "%s", text.c_str());
                    throw std::runtime_error(text);
                }
                sourcePath = &file.diskPath;
            }
            uint64_t size = file.size;
            if (file.wholeFile) {
                struct stat st;
                if (::fstat(fileno(source.get()), &st) != 0) ThrowSystem("Failed to measure a source file");
                size = static_cast<uint64_t>(st.st_size);
                if (size > FileFormat::skMaxDataSize) throw std::runtime_error("Source file larger than 4 GiB");
            }
            if (dataOffset + size > limit) throw std::runtime_error("Archive data would pass its size limit");
            if (timer) {
                timer->DeltaBytesCompleted(static_cast<int64_t>(size));
                timer->GetAutoUpdateProgress().Tick(0);
            }
            m_BytesWritten += size;
            if (contiguous) {
                runLength += size;
            } else {
                runStart = file.offset;
                runLength = size;
            }
            FileListEntry_t entry;
            entry.hash = FileFormat::HashString(file.path.c_str());
            entry.dataOffset = static_cast<uint32_t>(dataOffset);
            entry.dataSize = static_cast<uint32_t>(size);
            entry.pathIndex = paths.Add(file.path);
            entries.push_back(entry);
            dataOffset += size;
        }
        if (runLength != 0) AppendBinaryFile(source.get(), runStart, runLength, data.get(), cancel);
        source.reset();

        std::shared_ptr<API::IBuffer> table = paths.Build();
        ThrowOnTRUE(cancel);
        const auto* tableBytes = static_cast<const uint8_t*>(table->GetBufferPointer());
        std::sort(entries.begin(), entries.end(), FileFormat::FileListEntryPredicate(tableBytes, nullptr));

        const bool sealed = !entries.empty();
        const uint64_t pathListOffset = FileFormat::skFileListOffset + FileFormat::FileListSize(entries.size());
        const uint64_t indexSize =
            pathListOffset + table->GetBufferSize() + (sealed ? FileFormat::Seal_t::skSize : 0);
        if (indexSize > 0xFFFFFFFFull) throw std::runtime_error("Archive index would pass 4 GiB");
        std::vector<uint8_t> image(static_cast<size_t>(indexSize));
        FileFormat::Header_t header;
        header.archiveId = m_ArchiveId;
        header.fileListOffset = FileFormat::skFileListOffset;
        header.pathListOffset = static_cast<uint32_t>(pathListOffset);
        FileFormat::StoreHeader(image.data(), header);
        FileFormat::StoreFileList(image.data() + header.fileListOffset, entries);
        uint8_t* at = image.data() + pathListOffset;
        ThrowOnTRUE(cancel);
        std::memcpy(at, tableBytes, table->GetBufferSize());
        at += table->GetBufferSize();
        if (sealed) {
            FileFormat::Seal_t seal;
            seal.pairId = FileFormat::NewPairId();
            seal.dataSize = static_cast<uint32_t>(dataOffset);
            FileFormat::StoreSeal(at, seal, Crc32(0, image.data(), static_cast<size_t>(at - image.data())));
            uint8_t trailer[FileFormat::DataTrailer_t::skSize];
            FileFormat::StoreDataTrailer(trailer, seal.pairId, seal.dataSize);
            WriteAll(fileno(data.get()), trailer, sizeof trailer);
        }

        if (!PairCommit::SyncFile(fileno(data.get()), dataPath) || !data.Close())
            throw std::runtime_error("Failed to close the archive data file");
        Common::CRTThrows::fwrite(image.data(), 1, image.size(), index.get());
        if (std::fflush(index.get()) != 0 || !PairCommit::SyncFile(fileno(index.get()), indexPath) || !index.Close())
            throw std::runtime_error("Failed to close the archive index file");
        return S_OK;
    } catch (const std::exception& e) {
        data.reset();
        index.reset();
        QUOR_LOG_TAG(Log::ERROR,
                     "HRESULT Quor::FileSystem::Impl::ArchiveFileBuilder::Write(const std::string &, "
                     "User::AutoUpdateProgress::AutoTimer *const)",
                     "(%s, 0x%08lx) %s", indexPath.c_str(),
                     static_cast<unsigned long>(reinterpret_cast<uintptr_t>(timer)), e.what());
        return E_FAIL;
    }
}

}  // namespace Quor::FileSystem::Impl
