#include "foundation/File/ZipFile.h"

#include <algorithm>
#include <cstring>

#include "foundation/ByteOrder.h"
#include "foundation/CStd/CStd.h"
#include "foundation/ZStream.h"

namespace Vorn::File {

namespace {

constexpr uint32_t kEndSignature = 0x06054B50;
constexpr uint32_t kCentralSignature = 0x02014B50;
constexpr uint32_t kLocalSignature = 0x04034B50;
constexpr size_t kEndRecordSize = 22;
constexpr size_t kEndSearchSize = 399;  // the end record is looked for in the last 399 bytes
constexpr size_t kCentralHeaderSize = 46;
constexpr size_t kLocalHeaderSize = 30;
constexpr WORD kNoEndRecord = 9999;
// Deflate cannot expand one input byte to more than 1032 output bytes.
constexpr uint64_t kMaxDeflateRatio = 1032;

// A member name may name a file or, with one trailing "/", a folder. Anything that could leave
// the archive's folder or alias another name is refused.
bool IsSafeMemberName(const std::string& name) {
    if (name.empty() || name[0] == '/') return false;
    if (name.find('\0') != std::string::npos || name.find('\\') != std::string::npos) return false;
    size_t start = 0;
    while (start < name.size()) {
        size_t end = name.find('/', start);
        if (end == std::string::npos) end = name.size();
        const std::string segment = name.substr(start, end - start);
        if (segment.empty() || segment == "." || segment == "..") return false;
        start = end + 1;
    }
    return true;
}

}  // namespace

bool ZipFile::ReadExact(void* buffer, size_t size) {
    return size == 0 || fread(buffer, 1, size, m_stream.get()) == size;
}

bool ZipFile::SeekTo(uint64_t offset) {
    return offset <= m_fileSize && fseeko(m_stream.get(), static_cast<off_t>(offset), SEEK_SET) == 0;
}

bool ZipFile::SkipForward(uint64_t size) {
    const off_t here = ftello(m_stream.get());
    return here >= 0 && SeekTo(static_cast<uint64_t>(here) + size);
}

// Reads a name of `length` bytes; a name over the limit is skipped and yields false.
bool ZipFile::ReadName(WORD length, std::string& name) {
    if (length > kMaxNameLength) {
        SkipForward(length);
        return false;
    }
    char buffer[kMaxNameLength + 1];
    if (!ReadExact(buffer, length)) return false;
    buffer[length] = '\0';
    name.assign(buffer, length);
    return true;
}

bool ZipFile::Open(const char* path) {
    Close();
    if (!path) return false;
    FILE* file = std_fopen(path, "rb");
    if (!file) return false;
    m_stream.reset(file);

    unsigned char magic[2];
    if (!ReadExact(magic, 2) || magic[0] != 'P' || magic[1] != 'K') return false;
    m_path = path;

    if (fseeko(file, 0, SEEK_END) != 0) return false;
    const off_t size = ftello(file);
    if (size < 0) return false;
    m_fileSize = static_cast<uint64_t>(size);

    hdrEnd end;
    end.diskNumber = kNoEndRecord;
    const size_t tailSize = static_cast<size_t>(std::min<uint64_t>(kEndSearchSize, m_fileSize));
    unsigned char tail[kEndSearchSize];
    if (tailSize >= kEndRecordSize && SeekTo(m_fileSize - tailSize) && ReadExact(tail, tailSize)) {
        for (size_t offset = tailSize - kEndRecordSize + 1; offset-- > 0;) {
            if (Bytes::LoadLE32(tail + offset) != kEndSignature) continue;
            Bytes::ByteReader r(tail + offset + 4, kEndRecordSize - 4);
            r.U16(end.diskNumber);
            r.U16(end.centralDirectoryDisk);
            r.U16(end.entriesOnDisk);
            r.U16(end.totalEntries);
            r.U32(end.centralDirectorySize);
            r.U32(end.centralDirectoryOffset);
            r.U16(end.commentLength);
            break;
        }
    }
    if (end.diskNumber != kNoEndRecord)
        ScanCentralDirectory(end);
    else
        ScanLocalHeaders();
    return true;
}

void ZipFile::Close() {
    m_stream.reset();
    m_entries.clear();
    m_entries.shrink_to_fit();
    m_count = 0;
    m_path.clear();
    m_fileSize = 0;
}

// The member's data begins after its own local header, whose name and extra field may differ in
// length from those of the central directory (zip tools write different extra fields in the two).
// dataOffset is changed only when that header is readable. False when the directory position
// cannot be restored.
bool ZipFile::LocateData(DWORD headerOffset, uint64_t& dataOffset) {
    const off_t resume = ftello(m_stream.get());
    if (resume < 0) return false;
    unsigned char header[kLocalHeaderSize];
    if (SeekTo(headerOffset) && ReadExact(header, sizeof header) && Bytes::LoadLE32(header) == kLocalSignature)
        dataOffset = uint64_t{headerOffset} + kLocalHeaderSize + Bytes::LoadLE16(header + 26) + Bytes::LoadLE16(header + 28);
    return fseeko(m_stream.get(), resume, SEEK_SET) == 0;
}

void ZipFile::ScanCentralDirectory(const hdrEnd& end) {
    if (!SeekTo(end.centralDirectoryOffset)) return;
    // The count is only a claim: never reserve more records than the rest of the file can hold.
    const uint64_t room = (m_fileSize - end.centralDirectoryOffset) / kCentralHeaderSize;
    m_entries.reserve(static_cast<size_t>(std::min<uint64_t>(end.totalEntries, room)));
    for (int i = 0; i < end.totalEntries; ++i) {
        unsigned char fixed[kCentralHeaderSize];
        if (!ReadExact(fixed, sizeof fixed) || Bytes::LoadLE32(fixed) != kCentralSignature) break;
        Bytes::ByteReader r(fixed + 4, sizeof fixed - 4);
        WORD made, needed, flags, method, time, date, nameLength, extraLength, commentLength, disk, internal;
        DWORD crc, compressed, uncompressed, external, localOffset;
        r.U16(made);
        r.U16(needed);
        r.U16(flags);
        r.U16(method);
        r.U16(time);
        r.U16(date);
        r.U32(crc);
        r.U32(compressed);
        r.U32(uncompressed);
        r.U16(nameLength);
        r.U16(extraLength);
        r.U16(commentLength);
        r.U16(disk);
        r.U16(internal);
        r.U32(external);
        r.U32(localOffset);

        std::string name;
        const bool named = ReadName(nameLength, name);
        // The extra field and the comment are not used: skip them without reading.
        if (!SkipForward(uint64_t{extraLength} + commentLength)) break;
        if (!named || !IsSafeMemberName(name)) continue;

        // Without a readable local header the central directory's idea of the offset stays;
        // unpacking checks it against the file.
        uint64_t dataOffset = uint64_t{localOffset} + kLocalHeaderSize + nameLength + extraLength;
        if (!LocateData(localOffset, dataOffset)) break;
        if (dataOffset > UINT32_MAX) continue;

        std::replace(name.begin(), name.end(), '/', '\\');
        ZipFileEntry entry;
        entry.headerOffset = localOffset;
        entry.dataOffset = static_cast<DWORD>(dataOffset);
        entry.method = method;
        entry.crc32 = crc;
        entry.compressedSize = compressed;
        entry.uncompressedSize = uncompressed;
        entry.name = std::move(name);
        m_entries.push_back(std::move(entry));
    }
    m_count = static_cast<int32_t>(m_entries.size());
}

void ZipFile::ScanLocalHeaders() {
    if (!SeekTo(0)) return;
    m_entries.reserve(static_cast<size_t>(std::min<uint64_t>(kMaxLocalEntries, m_fileSize / kLocalHeaderSize)));
    for (int i = 0; i < kMaxLocalEntries; ++i) {
        unsigned char fixed[kLocalHeaderSize];
        if (!ReadExact(fixed, sizeof fixed) || Bytes::LoadLE32(fixed) != kLocalSignature) break;
        Bytes::ByteReader r(fixed + 4, sizeof fixed - 4);
        WORD needed, flags, method, time, date, nameLength, extraLength;
        DWORD crc, compressed, uncompressed;
        r.U16(needed);
        r.U16(flags);
        r.U16(method);
        r.U16(time);
        r.U16(date);
        r.U32(crc);
        r.U32(compressed);
        r.U32(uncompressed);
        r.U16(nameLength);
        r.U16(extraLength);

        std::string name;
        const bool named = ReadName(nameLength, name);
        if (!SkipForward(extraLength)) break;
        const off_t dataOffset = ftello(m_stream.get());
        if (dataOffset < 0) break;
        if (named && IsSafeMemberName(name) && static_cast<uint64_t>(dataOffset) <= UINT32_MAX) {
            ZipFileEntry entry;
            entry.headerOffset = static_cast<DWORD>(static_cast<uint64_t>(dataOffset) - kLocalHeaderSize - nameLength - extraLength);
            entry.dataOffset = static_cast<DWORD>(dataOffset);
            entry.method = method;
            entry.crc32 = crc;
            entry.compressedSize = compressed;
            entry.uncompressedSize = uncompressed;
            entry.name = std::move(name);
            m_entries.push_back(std::move(entry));
        }
        if (!SkipForward(compressed)) break;
    }
    m_count = static_cast<int32_t>(m_entries.size());
}

void ZipFile::UnpackFile(int index, std::vector<char>& out) {
    if (index < 0 || index >= m_count || !m_stream) return;
    ZipFileEntry& entry = m_entries[static_cast<size_t>(index)];
    const uint64_t available = entry.dataOffset <= m_fileSize ? m_fileSize - entry.dataOffset : 0;
    // Sizes come from the archive: check them against the file before allocating anything.
    bool plausible = false;
    if (entry.method == 0) plausible = entry.uncompressedSize <= available;
    if (entry.method == 8)
        plausible = entry.compressedSize <= available &&
                    entry.uncompressedSize <= (uint64_t{entry.compressedSize} + 1) * kMaxDeflateRatio;
    if (!plausible || !SeekTo(entry.dataOffset)) {
        out.clear();
        return;
    }
    out.assign(entry.uncompressedSize, '\0');
    if (entry.method == 8)
        out.resize(Inflate(entry, out));
    else
        out.resize(Unstore(entry, out));
}

size_t ZipFile::Unstore(ZipFileEntry&, std::vector<char>& out) {
    if (out.empty()) return 0;
    return fread(out.data(), 1, out.size(), m_stream.get());
}

size_t ZipFile::Inflate(ZipFileEntry& entry, std::vector<char>& out) {
    std::vector<unsigned char> packed(entry.compressedSize);
    if (!ReadExact(packed.data(), packed.size())) return 0;
    ZStream z;
    if (z.InitInflate(ZStream::kRawDeflate) != ZStream::kOk) return 0;
    z.SetInput(packed.data(), static_cast<uint32_t>(packed.size()));
    z.SetOutput(out.data(), static_cast<uint32_t>(out.size()));
    // The data must end exactly at the recorded size: a stream that would give more is as wrong
    // as one that gives less, and neither hands out a cut member.
    const int rc = z.Inflate(ZStream::kSyncFlush);
    const uint64_t total = z.TotalOut();
    return rc == ZStream::kStreamEnd && total == entry.uncompressedSize ? static_cast<size_t>(total) : 0;
}

}  // namespace Vorn::File
