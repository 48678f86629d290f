#include "archive/FileFormat.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <random>

#include "archive/Crc32.h"
#include "common/RelativeName.h"
#include "common/StringTable.h"
#include "foundation/ByteOrder.h"
#include "foundation/CStd/CStd.h"
#include "foundation/HashFunctions.h"
#include "foundation/UniqueFd.h"

namespace Quor::FileSystem::Impl::FileFormat {

using Vorn::Bytes::LoadLE32;
using Vorn::Bytes::LoadLE64;
using Vorn::Bytes::StoreLE32;
using Vorn::Bytes::StoreLE64;

const std::string skDirectoryFileNameExtension = "zef";
const std::string skDataFileNameExtension = "dat";

uint32_t HashString(const char* text) { return Vorn::HashFunctions::HashString(text); }

const char* FileListEntryPredicate::PathOf(const FileListEntry_t& entry) const {
    if (entry.pathIndex == FileListEntry_t::skProbeIndex) return m_Probe ? m_Probe : "";
    const char* path = Common::StringTable::GetString(m_PathList, entry.pathIndex);
    return path ? path : "";
}

bool FileListEntryPredicate::operator()(const FileListEntry_t& a, const FileListEntry_t& b) const {
    if (a.hash != b.hash) return a.hash < b.hash;
    return Vorn::std_stricmp(PathOf(a), PathOf(b)) < 0;
}

uint64_t NewPairId() {
    std::random_device device;
    uint64_t id = 0;
    while (id == 0) id = (static_cast<uint64_t>(device()) << 32) ^ device();
    return id;
}

void StoreHeader(uint8_t* out, const Header_t& header) {
    StoreLE32(out, header.magic);
    StoreLE32(out + 4, header.version);
    StoreLE32(out + 8, header.archiveId);
    StoreLE32(out + 12, header.fileListOffset);
    StoreLE32(out + 16, header.pathListOffset);
}

void StoreSeal(uint8_t* out, const Seal_t& seal, uint32_t crcOfBytesBefore) {
    StoreLE32(out, Seal_t::skMagic);
    StoreLE32(out + 4, static_cast<uint32_t>(Seal_t::skSize));
    StoreLE64(out + 8, seal.pairId);
    StoreLE32(out + 16, seal.dataSize);
    StoreLE32(out + 20, Crc32(crcOfBytesBefore, out, 20));
}

void StoreDataTrailer(uint8_t* out, uint64_t pairId, uint32_t dataSize) {
    StoreLE64(out, pairId);
    StoreLE32(out + 8, dataSize);
    StoreLE32(out + 12, DataTrailer_t::skMagic);
}

void StoreFileList(uint8_t* out, const std::vector<FileListEntry_t>& entries) {
    StoreLE32(out, static_cast<uint32_t>(entries.size()));
    uint8_t* at = out + 4;
    for (const FileListEntry_t& entry : entries) {
        StoreLE32(at, entry.hash);
        StoreLE32(at + 4, entry.dataOffset);
        StoreLE32(at + 8, entry.dataSize);
        StoreLE32(at + 12, entry.pathIndex);
        at += FileListEntry_t::skSize;
    }
}

const char* ParsedIndex::PathOf(size_t index) const {
    return Common::StringTable::GetString(pathList, entries[index].pathIndex);
}

int64_t ParsedIndex::Find(uint32_t hash, const char* path) const {
    // The entries of one hash are few (usually one); among them the order is by path without
    // regard to case, so the first equal one is the first of its run.
    auto at = std::lower_bound(hashes.begin(), hashes.end(), hash);
    for (; at != hashes.end() && *at == hash; ++at) {
        const size_t position = static_cast<size_t>(at - hashes.begin());
        const int order = Vorn::std_stricmp(PathOf(position), path);
        if (order == 0) return static_cast<int64_t>(position);
        if (order > 0) break;
    }
    return -1;
}

namespace {

ParseResult Damaged(std::string& why, const char* text) {
    why = text;
    return ParseResult::kDamaged;
}

}  // namespace

ParseResult ParseIndex(const std::shared_ptr<API::IBuffer>& image, ParsedIndex& out, std::string& why) {
    out = ParsedIndex();
    why.clear();
    const uint8_t* bytes = image ? static_cast<const uint8_t*>(image->GetBufferPointer()) : nullptr;
    const size_t size = bytes ? image->GetBufferSize() : 0;
    if (size < Header_t::skSize) {
        why = "shorter than its header";
        return ParseResult::kWrongMagicOrVersion;
    }
    Header_t header;
    header.magic = LoadLE32(bytes);
    header.version = LoadLE32(bytes + 4);
    header.archiveId = LoadLE32(bytes + 8);
    header.fileListOffset = LoadLE32(bytes + 12);
    header.pathListOffset = LoadLE32(bytes + 16);
    if (header.magic != Header_t::skMagic || header.version != Header_t::skVersion) {
        why = "wrong magic value or version";
        return ParseResult::kWrongMagicOrVersion;
    }

    // File list: inside the image, after the header.
    const uint64_t fileList = header.fileListOffset;
    if (fileList < Header_t::skSize || fileList + 4 > size) return Damaged(why, "file list outside the index");
    const uint32_t count = LoadLE32(bytes + fileList);
    const uint64_t fileListEnd = fileList + 4 + uint64_t{count} * FileListEntry_t::skSize;
    if (fileListEnd > size) return Damaged(why, "file count larger than the index holds");

    // Path list: a whole string-table image inside the index, apart from the file list.
    const uint64_t pathList = header.pathListOffset;
    if (pathList < Header_t::skSize || pathList + 8 > size) return Damaged(why, "path list outside the index");
    const uint32_t pathListSize = LoadLE32(bytes + pathList);
    const uint64_t pathListEnd = pathList + pathListSize;
    if (pathListSize < 8 || pathListEnd > size) return Damaged(why, "path list larger than the index holds");
    if (pathList < fileListEnd && fileList < pathListEnd) return Damaged(why, "file list and path list overlap");
    if (!Common::StringTable::IsValidImage(bytes + pathList, pathListSize))
        return Damaged(why, "path list is not a valid string table");
    const uint32_t pathCount = LoadLE32(bytes + pathList + 4);

    // What follows the later list: nothing, or exactly the seal.
    const uint64_t listsEnd = std::max(fileListEnd, pathListEnd);
    if (listsEnd != size) {
        if (size - listsEnd != Seal_t::skSize) return Damaged(why, "unexpected bytes after the path list");
        const uint8_t* seal = bytes + listsEnd;
        if (LoadLE32(seal) != Seal_t::skMagic || LoadLE32(seal + 4) != Seal_t::skSize)
            return Damaged(why, "unexpected bytes after the path list");
        if (Crc32(0, bytes, listsEnd + 20) != LoadLE32(seal + 20)) return Damaged(why, "checksum mismatch");
        out.sealed = true;
        out.seal.pairId = LoadLE64(seal + 8);
        out.seal.dataSize = LoadLE32(seal + 16);
    }

    out.pathList = bytes + pathList;
    out.entries.resize(count);
    out.hashes.resize(count);
    const uint8_t* entry = bytes + fileList + 4;
    FileListEntryPredicate order(out.pathList, nullptr);
    for (uint32_t i = 0; i < count; ++i, entry += FileListEntry_t::skSize) {
        FileListEntry_t& e = out.entries[i];
        e.hash = out.hashes[i] = LoadLE32(entry);
        e.dataOffset = LoadLE32(entry + 4);
        e.dataSize = LoadLE32(entry + 8);
        e.pathIndex = LoadLE32(entry + 12);
        if (e.pathIndex >= pathCount) return Damaged(why, "path index outside the path list");
        const char* path = Common::StringTable::GetString(out.pathList, e.pathIndex);
        if (!path || !Common::IsValidRelativeName(path)) return Damaged(why, "invalid stored path");
        if (HashString(path) != e.hash) return Damaged(why, "path hash does not match its path");
        if (i > 0 && order(e, out.entries[i - 1])) return Damaged(why, "file list out of order");
        const uint64_t end = uint64_t{e.dataOffset} + e.dataSize;
        out.entriesEnd = std::max(out.entriesEnd, end);
    }
    if (out.entriesEnd > skMaxDataSize) return Damaged(why, "file data beyond 4 GiB");
    if (out.sealed && out.entriesEnd > out.seal.dataSize) return Damaged(why, "file data beyond the data size");

    out.image = image;
    out.header = header;
    return ParseResult::kOk;
}

DataCheck CheckDataFile(const std::string& dataPath, const ParsedIndex& index, std::string& why) {
    why.clear();
    if (index.entries.empty()) return DataCheck::kOk;
    Vorn::UniqueFd fd(::open(dataPath.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st;
    if (!fd.IsValid() || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        why = "data file missing";
        return DataCheck::kMissing;
    }
    const uint64_t fileSize = static_cast<uint64_t>(st.st_size);
    if (!index.sealed) {
        if (index.entriesEnd > fileSize) {
            why = "data file shorter than its index says";
            return DataCheck::kMismatch;
        }
        return DataCheck::kOk;
    }
    if (fileSize != uint64_t{index.seal.dataSize} + DataTrailer_t::skSize) {
        why = "data file size does not match its index";
        return DataCheck::kMismatch;
    }
    uint8_t trailer[DataTrailer_t::skSize];
    if (::pread(fd.Get(), trailer, sizeof trailer, static_cast<off_t>(index.seal.dataSize)) !=
        static_cast<ssize_t>(sizeof trailer)) {
        why = "data file trailer unreadable";
        return DataCheck::kMissing;
    }
    if (LoadLE32(trailer + 12) != DataTrailer_t::skMagic || LoadLE64(trailer) != index.seal.pairId ||
        LoadLE32(trailer + 8) != index.seal.dataSize) {
        why = "data file belongs to another write of the pair";
        return DataCheck::kMismatch;
    }
    return DataCheck::kOk;
}

}  // namespace Quor::FileSystem::Impl::FileFormat
