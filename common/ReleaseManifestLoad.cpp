// ReleaseManifest::Load: reads the whole file once, then takes it apart with a bounds-checked
// reader. Every count is checked against the bytes present before anything is allocated for it.
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <string_view>

#include "common/LastError.h"
#include "common/Log.h"
#include "common/ManifestFile.h"
#include "common/RegularFile.h"
#include "common/RelativeName.h"
#include "common/ReleaseManifest.h"
#include "common/ReleaseManifestFormat.h"
#include "common/UniqueFile.h"
#include "foundation/ByteOrder.h"
#include "foundation/CStd/CStdFiles.h"

namespace Quor::Common {

namespace {

using Vorn::Bytes::ByteReader;

const char* const LOAD_TAG =
    "HRESULT Quor::Common::ReleaseManifest::Load(const std::string &, const BOOL *const)";
const char* const READ_FILE_TABLE_TAG =
    "bool Quor::Common::<anonymous namespace>::ReadFileTableEntriesFromFile(FILE *, unsigned int, DWORD, "
    "std::vector<File::FileTableEntry> &)";

// Reads the rest of the stream. What could be read stays in `out` also after a read error; the
// stream's error indicator tells the caller about it.
void ReadWholeStream(FILE* stream, std::vector<uint8_t>& out) {
    size_t chunk = 64 * 1024;
    struct stat st;
    if (fstat(fileno(stream), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
        chunk = static_cast<size_t>(st.st_size) + 1;  // one read, and one more that finds the end
    while (true) {
        const size_t old = out.size();
        out.resize(old + chunk);
        const size_t got = fread(out.data() + old, 1, chunk, stream);
        out.resize(old + got);
        if (got < chunk) return;
        chunk = std::max<size_t>(chunk, 64 * 1024);
    }
}

bool ReadFileTableEntriesFromFile(FILE* stream, ByteReader& reader, unsigned int recordSize, DWORD count,
                                  std::vector<File::FileTableEntry>& entries) {
    if (static_cast<uint64_t>(count) * recordSize > reader.Remaining()) {
        Log::Internal::LogFError(READ_FILE_TABLE_TAG, stream);
        QUOR_LOG_TAG(Log::ERROR, READ_FILE_TABLE_TAG, "%s",
                     recordSize == File::FILE_RECORD_SIZE ? "Failed to read in file table entries"
                                                          : "Failed to read in file table entries (v0)");
        return false;
    }
    entries.resize(count);
    for (File::FileTableEntry& e : entries) {
        reader.U32(e.nameIndex);
        reader.U32(e.version);
        reader.Raw(e.md5, sizeof e.md5);
        reader.U32(e.flags);
        reader.U32(e.size);
        reader.U32(e.compressedSize);
        reader.Skip(recordSize - File::FILE_RECORD_SIZE);  // the dropped bytes of 0x10001 records
    }
    return reader.ok();
}

bool IsReadableVersion(DWORD version) {
    return std::find(std::begin(File::HEADER_VERSIONS), std::end(File::HEADER_VERSIONS), version) !=
           std::end(File::HEADER_VERSIONS);
}

// A range [first, first + count) lies inside a table of `size` records.
bool RangeInside(DWORD first, DWORD count, size_t size) {
    return static_cast<uint64_t>(first) + count <= size;
}

}  // namespace

HRESULT ReleaseManifest::Load(const std::string& path, const signed char* cancel) {
    QUOR_LOG_TAG(Log::DEBUG, LOAD_TAG, "(\"%s\")", path.c_str());
    m_Entries.clear();

    // A regular file within the size limit only: a FIFO, a device or a huge file fails here,
    // before anything is read or allocated.
    UniqueFile file(OpenRegularFileStream(path, kMaxManifestFileSize));
    if (!file) {
        QUOR_LOG_TAG(Log::ERROR, LOAD_TAG, "Failed to open \"%s\".", path.c_str());
        return E_FAIL;
    }
    FILE* const stream = file.get();

    HRESULT hr = S_OK;
    const char* shortRead = nullptr;  // the message of a part that the file does not hold in full
    // One pass that stops at the first failure; every step sets hr and breaks out.
    do {
        if (IsCancelRequested(cancel)) {
            QUOR_LOG_TAG(Log::ERROR, LOAD_TAG, "Cancellation request detected, aborting");
            hr = E_ABORT;
            break;
        }

        std::vector<uint8_t> bytes;
        ReadWholeStream(stream, bytes);
        ByteReader reader(bytes.data(), bytes.size());

        DWORD magic = 0, version = 0;
        if (!reader.U32(magic) || !reader.U32(version)) {
            shortRead = "Failure while reading header";
            break;
        }
        if (magic != File::MAGIC) {
            QUOR_LOG_TAG(Log::ERROR, LOAD_TAG, "Failed to find magic value");
            hr = E_FAIL;
            break;
        }
        if (!IsReadableVersion(version)) {
            QUOR_LOG_TAG(Log::ERROR, LOAD_TAG, "Invalid version.  Current version is 0x%08lx, found 0x%08lx",
                         static_cast<unsigned long>(File::CURRENT_VERSION),
                         static_cast<unsigned long>(version));
            hr = E_FAIL;
            break;
        }

        DWORD projectNameIndex = 0, releaseVersion = 0;
        if (!reader.U32(projectNameIndex) || !reader.U32(releaseVersion)) {
            shortRead = "Failure while reading project info";
            break;
        }

        DWORD directoryCount = 0;
        if (!reader.U32(directoryCount)) {
            shortRead = "Failure while reading directory table header";
            break;
        }
        if (static_cast<uint64_t>(directoryCount) * File::DIRECTORY_RECORD_SIZE > reader.Remaining()) {
            shortRead = "Failed to read in directory table entries";
            break;
        }
        std::vector<File::DirectoryTableEntry> directories(directoryCount);
        for (File::DirectoryTableEntry& d : directories) {
            reader.U32(d.nameIndex);
            reader.U32(d.firstSubdirectory);
            reader.U32(d.subdirectoryCount);
            reader.U32(d.firstFile);
            reader.U32(d.fileCount);
        }

        DWORD fileCount = 0;
        if (!reader.U32(fileCount)) {
            shortRead = "Failure while reading file table header";
            break;
        }
        std::vector<File::FileTableEntry> files;
        const unsigned recordSize =
            version == File::VERSION_0x10001 ? File::FILE_RECORD_SIZE_0x10001 : File::FILE_RECORD_SIZE;
        if (!ReadFileTableEntriesFromFile(stream, reader, recordSize, fileCount, files)) {
            hr = E_FAIL;
            break;
        }

        DWORD stringCount = 0, stringBytes = 0;
        if (!reader.U32(stringCount) || !reader.U32(stringBytes)) {
            shortRead = "Failure while reading string table header";
            break;
        }
        const uint8_t* stringData = nullptr;
        if (stringCount != 0 && !reader.View(stringData, stringBytes)) {
            shortRead = "Failed to read in string table";
            break;
        }
        // Each zero ends one string; bytes after the last zero belong to none.
        std::vector<std::string_view> strings;
        if (stringCount != 0) {
            const char* p = reinterpret_cast<const char*>(stringData);
            const char* end = p + stringBytes;
            while (const void* zero = std::memchr(p, 0, static_cast<size_t>(end - p))) {
                const char* z = static_cast<const char*>(zero);
                strings.emplace_back(p, static_cast<size_t>(z - p));
                p = z + 1;
            }
        }

        if (projectNameIndex >= strings.size()) {
            QUOR_LOG_TAG(Log::ERROR, LOAD_TAG, "Project name is invalid");
            hr = E_FAIL;
            break;
        }
        m_ProjectName.assign(strings[projectNameIndex]);
        m_ReleaseVersion = releaseVersion;

        uint64_t announced = 0;
        for (const File::DirectoryTableEntry& d : directories) announced += d.fileCount;
        m_Entries.reserve(static_cast<size_t>(std::min<uint64_t>(announced, fileCount)));

        if (directories.empty()) {
            QUOR_LOG_TAG(Log::ERROR, LOAD_TAG, "The directory table has no root directory");
            hr = E_FAIL;
            break;
        }

        // Breadth-first walk from the root. A directory enters the queue at most once and a file
        // record is used at most once, so a crafted table cannot make the walk or the entries grow
        // beyond the records present. A directory's path is kept only while children of it wait.
        constexpr DWORD NONE = 0xFFFFFFFF;
        struct Pending {
            DWORD parent;
            DWORD directory;
        };
        std::deque<Pending> queue;
        std::vector<uint8_t> queued(directories.size(), 0);
        std::vector<uint8_t> fileUsed(files.size(), 0);
        std::vector<std::string> paths(directories.size());
        std::vector<DWORD> waitingChildren(directories.size(), 0);
        queue.push_back({NONE, 0});
        queued[0] = 1;

        while (!queue.empty()) {
            const Pending item = queue.front();
            queue.pop_front();
            if (IsCancelRequested(cancel)) {
                QUOR_LOG_TAG(Log::ERROR, LOAD_TAG, "Cancellation request detected, aborting");
                hr = E_ABORT;
                break;
            }
            if (item.parent != NONE && item.parent >= item.directory) {
                QUOR_LOG_TAG(Log::ERROR, LOAD_TAG, "Parent directory ordering failure");
                hr = E_FAIL;
                break;
            }
            const File::DirectoryTableEntry& dir = directories[item.directory];
            if (dir.nameIndex != File::NO_NAME && dir.nameIndex >= strings.size()) {
                QUOR_LOG_TAG(Log::ERROR, LOAD_TAG, "Directory record %u has an invalid name index",
                             item.directory);
                hr = E_FAIL;
                break;
            }
            if (!RangeInside(dir.firstSubdirectory, dir.subdirectoryCount, directories.size()) ||
                !RangeInside(dir.firstFile, dir.fileCount, files.size())) {
                QUOR_LOG_TAG(Log::ERROR, LOAD_TAG, "Directory record %u lists records outside the tables",
                             item.directory);
                hr = E_FAIL;
                break;
            }

            std::string directoryPath;
            if (item.parent != NONE) {
                directoryPath = paths[item.parent];
                if (--waitingChildren[item.parent] == 0) std::string().swap(paths[item.parent]);
            }
            if (dir.nameIndex != File::NO_NAME) {
                const std::string_view name = strings[dir.nameIndex];
                if (directoryPath.size() + 1 + name.size() > MAX_ENTRY_NAME_LENGTH) {
                    QUOR_LOG_TAG(Log::ERROR, LOAD_TAG,
                                 "Directory record %u has a path longer than %zu characters", item.directory,
                                 MAX_ENTRY_NAME_LENGTH);
                    hr = E_FAIL;
                    break;
                }
                if (!directoryPath.empty()) directoryPath += '/';
                directoryPath += name;
            } else if (!directoryPath.empty()) {
                directoryPath += '/';
            }

            for (DWORD f = dir.firstFile; f < dir.firstFile + dir.fileCount && SUCCEEDED(hr); ++f) {
                if (fileUsed[f]) {
                    QUOR_LOG_TAG(Log::ERROR, LOAD_TAG, "File record %u is listed by more than one directory",
                                 f);
                    hr = E_FAIL;
                    break;
                }
                fileUsed[f] = 1;
                const File::FileTableEntry& record = files[f];
                if (record.nameIndex >= strings.size()) continue;  // left out without a message
                const std::string_view fileName = strings[record.nameIndex];
                const size_t length =
                    directoryPath.empty() ? fileName.size() : directoryPath.size() + 1 + fileName.size();
                if (length > MAX_ENTRY_NAME_LENGTH) {
                    QUOR_LOG_TAG(Log::ERROR, LOAD_TAG, "File record %u has a name longer than %zu characters",
                                 f, MAX_ENTRY_NAME_LENGTH);
                    hr = E_FAIL;
                    break;
                }
                ENTRY entry;
                entry.name.reserve(length);
                entry.name = directoryPath;
                if (!directoryPath.empty()) entry.name += '/';
                entry.name += fileName;
                if (!IsValidRelativeName(entry.name)) {
                    QUOR_LOG_TAG(Log::ERROR, LOAD_TAG, "Invalid entry name \"%s\"", entry.name.c_str());
                    hr = E_FAIL;
                    break;
                }
                entry.version = record.version;
                std::memcpy(entry.md5, record.md5, sizeof entry.md5);
                entry.flags = record.flags;
                entry.size = record.size;
                entry.compressedSize = record.compressedSize;
                m_Entries.push_back(std::move(entry));
            }
            if (FAILED(hr)) break;

            for (DWORD s = dir.firstSubdirectory; s < dir.firstSubdirectory + dir.subdirectoryCount; ++s) {
                if (queued[s]) {
                    QUOR_LOG_TAG(Log::ERROR, LOAD_TAG, "Directory record %u is listed more than once", s);
                    hr = E_FAIL;
                    break;
                }
                queued[s] = 1;
                queue.push_back({item.directory, s});
            }
            if (FAILED(hr)) break;
            if (dir.subdirectoryCount != 0) {
                paths[item.directory] = std::move(directoryPath);
                waitingChildren[item.directory] = dir.subdirectoryCount;
            }
        }
        if (FAILED(hr)) break;

        hr = SortEntries(cancel);
        if (FAILED(hr)) {
            QUOR_LOG_TAG(Log::ERROR, LOAD_TAG, "Failure while sorting the newly loaded Manifest");
            break;
        }
        QUOR_LOG_TAG(Log::DEBUG, LOAD_TAG, "Succeeded");
    } while (false);
    if (shortRead) {
        Log::Internal::LogFError(LOAD_TAG, stream);
        QUOR_LOG_TAG(Log::ERROR, LOAD_TAG, "%s", shortRead);
        hr = E_FAIL;
    }

    // A closed stream cannot be asked for its state; a failed close reports the system error.
    errno = 0;
    if (!file.Close()) {
        LastErrorFailure(LOAD_TAG);
        if (SUCCEEDED(hr)) hr = E_FAIL;
    }
    return hr;
}

}  // namespace Quor::Common
