// The first half of reading a release manifest: the bytes of a file taken apart into its tables
// with a bounds-checked reader. Every count is checked against the bytes present before anything
// is allocated for it.
#include <algorithm>
#include <cstring>

#include "common/Log.h"
#include "common/ManifestFile.h"
#include "common/ReleaseManifestImage.h"
#include "foundation/ByteOrder.h"

namespace Quor::Common {

const char* const RELEASE_MANIFEST_LOAD_TAG =
    "HRESULT Quor::Common::ReleaseManifest::Load(const std::string &, const BOOL *const)";

namespace {

using Vorn::Bytes::ByteReader;

const char* const LOAD_TAG = RELEASE_MANIFEST_LOAD_TAG;
const char* const READ_FILE_TABLE_TAG =
    "bool Quor::Common::<anonymous namespace>::ReadFileTableEntriesFromFile(FILE *, unsigned int, DWORD, "
    "std::vector<File::FileTableEntry> &)";

bool ReadFileTableEntries(FILE* stream, ByteReader& reader, unsigned int recordSize, DWORD count,
                          std::vector<File::FileTableEntry>& entries) {
    if (static_cast<uint64_t>(count) * recordSize > reader.Remaining()) {
        if (stream) Log::Internal::LogFError(READ_FILE_TABLE_TAG, stream);
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

// The tables, or the message of the part the bytes do not hold in full (null after a failure
// that was logged already).
HRESULT ReadTables(ByteReader& reader, FILE* stream, ReleaseManifestTables& t, const char*& shortRead) {
    DWORD magic = 0;
    if (!reader.U32(magic) || !reader.U32(t.version)) {
        shortRead = "Failure while reading header";
        return E_FAIL;
    }
    if (magic != File::MAGIC) {
        QUOR_LOG_TAG(Log::ERROR, LOAD_TAG, "Failed to find magic value");
        return E_FAIL;
    }
    if (!IsReadableVersion(t.version)) {
        QUOR_LOG_TAG(Log::ERROR, LOAD_TAG, "Invalid version.  Current version is 0x%08lx, found 0x%08lx",
                     static_cast<unsigned long>(File::CURRENT_VERSION), static_cast<unsigned long>(t.version));
        return E_FAIL;
    }
    if (!reader.U32(t.projectNameIndex) || !reader.U32(t.releaseVersion)) {
        shortRead = "Failure while reading project info";
        return E_FAIL;
    }

    DWORD directoryCount = 0;
    if (!reader.U32(directoryCount)) {
        shortRead = "Failure while reading directory table header";
        return E_FAIL;
    }
    if (directoryCount > kMaxManifestEntries) {
        QUOR_LOG_TAG(Log::ERROR, LOAD_TAG, "The manifest has %u directories, more than the %zu allowed",
                     directoryCount, kMaxManifestEntries);
        return E_FAIL;
    }
    if (static_cast<uint64_t>(directoryCount) * File::DIRECTORY_RECORD_SIZE > reader.Remaining()) {
        shortRead = "Failed to read in directory table entries";
        return E_FAIL;
    }
    t.directories.resize(directoryCount);
    for (File::DirectoryTableEntry& d : t.directories) {
        reader.U32(d.nameIndex);
        reader.U32(d.firstSubdirectory);
        reader.U32(d.subdirectoryCount);
        reader.U32(d.firstFile);
        reader.U32(d.fileCount);
    }

    DWORD fileCount = 0;
    if (!reader.U32(fileCount)) {
        shortRead = "Failure while reading file table header";
        return E_FAIL;
    }
    if (fileCount > kMaxManifestEntries) {
        QUOR_LOG_TAG(Log::ERROR, LOAD_TAG, "The manifest has %u files, more than the %zu allowed", fileCount,
                     kMaxManifestEntries);
        return E_FAIL;
    }
    const unsigned recordSize =
        t.version == File::VERSION_0x10001 ? File::FILE_RECORD_SIZE_0x10001 : File::FILE_RECORD_SIZE;
    if (!ReadFileTableEntries(stream, reader, recordSize, fileCount, t.files)) return E_FAIL;

    DWORD stringCount = 0, stringBytes = 0;
    if (!reader.U32(stringCount) || !reader.U32(stringBytes)) {
        shortRead = "Failure while reading string table header";
        return E_FAIL;
    }
    const uint8_t* stringData = nullptr;
    if (stringCount != 0 && !reader.View(stringData, stringBytes)) {
        shortRead = "Failed to read in string table";
        return E_FAIL;
    }
    // Each zero ends one string; bytes after the last zero belong to none.
    if (stringCount != 0) {
        const char* p = reinterpret_cast<const char*>(stringData);
        const char* end = p + stringBytes;
        while (const void* zero = std::memchr(p, 0, static_cast<size_t>(end - p))) {
            const char* z = static_cast<const char*>(zero);
            // No more strings than the largest manifest's records and project can name: empty
            // strings cost a byte each in the file and a view each in memory.
            if (t.strings.size() > 2 * kMaxManifestEntries) {
                QUOR_LOG_TAG(Log::ERROR, LOAD_TAG, "The string table holds more than %zu strings",
                             2 * kMaxManifestEntries + 1);
                return E_FAIL;
            }
            t.strings.emplace_back(p, static_cast<size_t>(z - p));
            p = z + 1;
        }
    }
    return S_OK;
}

}  // namespace

HRESULT ParseReleaseManifestTables(const uint8_t* bytes, size_t size, FILE* stream, ReleaseManifestTables& tables) {
    ByteReader reader(bytes, size);
    const char* shortRead = nullptr;
    const HRESULT hr = ReadTables(reader, stream, tables, shortRead);
    if (shortRead) {
        if (stream) Log::Internal::LogFError(LOAD_TAG, stream);
        QUOR_LOG_TAG(Log::ERROR, LOAD_TAG, "%s", shortRead);
    }
    return hr;
}

}  // namespace Quor::Common
