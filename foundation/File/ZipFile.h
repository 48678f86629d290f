#pragma once
// A read-only zip archive: its directory of members and the unpacking of single members
// (stored, or raw deflate).
//
// The archive's bytes are untrusted. Every length, count, offset and size read from it is checked
// against the file before it is used: a member whose name is too long (over 255 bytes) or unsafe
// (absolute, with an empty, "." or ".." segment, a backslash or a NUL) is left out of the
// directory, and a member whose data does not fit in the file, or whose recorded size cannot come
// from its data, unpacks to nothing. CRCs are not compared.
// The object owns its stream and entries; Close (also run by the destructor) releases them.
// Not thread-safe: the stream position is shared by every operation.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "foundation/Types.h"

namespace Vorn::File {

struct ZipFileEntry {
    DWORD headerOffset = 0;      // offset of the member's local header
    DWORD dataOffset = 0;        // offset of the member's data
    DWORD method = 0;            // 0 stored, 8 deflate
    DWORD crc32 = 0;             // as stored, not verified
    DWORD compressedSize = 0;
    DWORD uncompressedSize = 0;
    std::string name;
};

// The end-of-central-directory record as read.
struct hdrEnd {
    WORD diskNumber = 0;
    WORD centralDirectoryDisk = 0;
    WORD entriesOnDisk = 0;
    WORD totalEntries = 0;
    DWORD centralDirectorySize = 0;
    DWORD centralDirectoryOffset = 0;
    WORD commentLength = 0;
};

class ZipFile {
public:
    static constexpr size_t kMaxNameLength = 255;  // names longer than this are left out
    static constexpr int kMaxLocalEntries = 2000;   // entries read from local headers

    ZipFile() = default;
    ~ZipFile() { Close(); }
    ZipFile(const ZipFile&) = delete;
    ZipFile& operator=(const ZipFile&) = delete;

    // Reads the archive's directory. False when the file cannot be opened or does not begin
    // with "PK"; true otherwise, also when no member was found.
    bool Open(const char* path);
    void Close();

    // Unpacks member index into out; out is empty (or cut to what could be unpacked) on failure
    // and is left alone for an index out of range.
    void UnpackFile(int index, std::vector<char>& out);
    // Read out.size() bytes from the current stream position; return the count produced.
    size_t Unstore(ZipFileEntry& entry, std::vector<char>& out);
    size_t Inflate(ZipFileEntry& entry, std::vector<char>& out);

    int Count() const { return m_count; }
    const ZipFileEntry& Entry(int index) const { return m_entries[static_cast<size_t>(index)]; }
    const std::string& Path() const { return m_path; }

private:
    struct Closer {
        void operator()(FILE* f) const { fclose(f); }
    };
    bool ReadExact(void* buffer, size_t size);
    bool SeekTo(uint64_t offset);
    bool SkipForward(uint64_t size);
    bool ReadName(WORD length, std::string& name);
    void ScanCentralDirectory(const hdrEnd& end);
    void ScanLocalHeaders();
    bool LocateData(DWORD headerOffset, uint64_t& dataOffset);

    std::vector<ZipFileEntry> m_entries;
    int32_t m_count = 0;
    std::unique_ptr<FILE, Closer> m_stream;
    std::string m_path;
    uint64_t m_fileSize = 0;
};

}  // namespace Vorn::File
