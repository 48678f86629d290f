#pragma once
// The archive pair on disk: an index file "<name>.zef" and a data file "<name>.zef.dat".
//
// Index file; every number unsigned 32-bit little-endian (u64: two such words, low first):
//
//   offset  field                 as written
//   0       magic                 0x18BE0EF0 (bytes F0 0E BE 18)
//   4       version               1
//   8       archive id            0 for every pair this system writes
//   12      file-list offset      20
//   16      path-list offset      24 + 16 x count
//   file list (at its offset): count, then count entries of 16 bytes
//           {path hash, data offset, data size, path index},
//           sorted by path hash (unsigned), entries of equal hash by path without regard to case
//   path list (at its offset): a string-table image {total size, count, (offset, length)...,
//           zero-terminated strings}; entry i names its path by index into it
//   seal (24 bytes, right after the later of the two lists; only pairs written by this system):
//           0 seal magic 0x31534151 ("QAS1"), 4 seal size 24, 8 pair id (u64),
//           16 data size (bytes of stored files in the data file), 20 CRC-32 of every index
//           byte before this field
//
// A reader takes both list offsets from the header. An index without a seal (its last list ends
// the file) is read as well; then every entry only has to lie inside the data file. A pair without
// files is written without a seal and with an empty data file.
//
// Data file: the stored files' bytes back to back (data offsets address them), and for a sealed
// index a 16-byte trailer after them: pair id (u64), data size, trailer magic 0x31444151 ("QAD1").
// The data file of a sealed index is exactly data size + 16 bytes long and its trailer repeats
// the seal's pair id and data size, so an index and a data file of different writes (a rewrite
// cut off between its two renames) are told apart instead of being read together. Offsets are
// 32-bit: the stored bytes of one pair never exceed 0xFFFFFFFF.
//
// Path hash: the ELF hash of the path with "A"-"Z" lowered, bytes taken as signed values; paths
// that differ only in ASCII case are one file. Stored paths must be relative names (no leading
// "/", no empty, "." or ".." segment, no backslash).
//
// Every function here is pure (or reads only the files it names) and thread-safe. ParseIndex and
// CheckDataFile treat their input as untrusted: nothing is read outside the bytes given.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/Types.h"
#include "foundation/api/IBuffer.h"

namespace Quor::FileSystem::Impl {

namespace FileFormat {

struct Header_t {
    static constexpr uint32_t skMagic = 0x18BE0EF0;
    static constexpr uint32_t skVersion = 1;
    static constexpr size_t skSize = 20;

    uint32_t magic = skMagic;
    uint32_t version = skVersion;
    uint32_t archiveId = 0;
    uint32_t fileListOffset = 0;
    uint32_t pathListOffset = 0;
};

struct FileListEntry_t {
    static constexpr size_t skSize = 16;
    static constexpr uint32_t skProbeIndex = 0xFFFFFFFF;  // stands for the probe path of a look-up

    uint32_t hash = 0;
    uint32_t dataOffset = 0;
    uint32_t dataSize = 0;
    uint32_t pathIndex = 0;
};

struct Seal_t {
    static constexpr uint32_t skMagic = 0x31534151;  // "QAS1"
    static constexpr size_t skSize = 24;
    uint64_t pairId = 0;
    uint32_t dataSize = 0;
};

struct DataTrailer_t {
    static constexpr uint32_t skMagic = 0x31444151;  // "QAD1"
    static constexpr size_t skSize = 16;
};

// The most stored bytes one pair may hold (its offsets are 32-bit).
constexpr uint64_t skMaxDataSize = 0xFFFFFFFFull;

extern const std::string skDirectoryFileNameExtension;  // "zef"
extern const std::string skDataFileNameExtension;       // "dat"

uint32_t HashString(const char* text);

// Orders entries by hash, then by path without regard to case. The path of an entry is taken
// from the path list, except for the probe index, which stands for the probe path.
class FileListEntryPredicate {
public:
    FileListEntryPredicate(const void* pathList, const char* probePath) : m_PathList(pathList), m_Probe(probePath) {}
    bool operator()(const FileListEntry_t& a, const FileListEntry_t& b) const;
    const char* PathOf(const FileListEntry_t& entry) const;

private:
    const void* m_PathList;
    const char* m_Probe;
};

// Where this system puts the file list (right after the header), and the bytes a file list of
// `count` entries takes (its count, then the entries).
constexpr uint32_t skFileListOffset = Header_t::skSize;
constexpr uint64_t FileListSize(uint64_t count) { return 4 + FileListEntry_t::skSize * count; }

// A random 64-bit pair id (never 0).
uint64_t NewPairId();

// Encodes the 20-byte header, the seal (with its CRC over `indexBytesBefore` plus the seal's own
// first 20 bytes) and the data trailer.
void StoreHeader(uint8_t* out, const Header_t& header);
void StoreSeal(uint8_t* out, const Seal_t& seal, uint32_t crcOfBytesBefore);
void StoreDataTrailer(uint8_t* out, uint64_t pairId, uint32_t dataSize);
// Encodes a file list (count, then every entry) at out, FileListSize(entries.size()) bytes.
void StoreFileList(uint8_t* out, const std::vector<FileListEntry_t>& entries);

// An index image that passed every check. `entries` are decoded; `pathList` points into the
// image, which the object keeps alive.
struct ParsedIndex {
    std::shared_ptr<API::IBuffer> image;
    Header_t header;
    std::vector<FileListEntry_t> entries;
    std::vector<uint32_t> hashes;  // entries[i].hash, kept apart so that a look-up stays in cache
    const void* pathList = nullptr;
    bool sealed = false;
    Seal_t seal;
    uint64_t entriesEnd = 0;  // the highest data offset + size of any entry

    const char* PathOf(size_t index) const;
    // Position of the first entry of `path` (whose hash is given), or -1.
    int64_t Find(uint32_t hash, const char* path) const;
};

enum class ParseResult {
    kOk,
    kWrongMagicOrVersion,  // not an index of this format at all
    kDamaged,              // right magic and version, but the structure does not hold
};

// Checks the whole image: header, list offsets and counts against the image's size, the path
// list as a string table, every entry's path index, path name, path hash and order, the seal and
// its CRC. `why` receives a short description of the first fault found.
ParseResult ParseIndex(const std::shared_ptr<API::IBuffer>& image, ParsedIndex& out, std::string& why);

enum class DataCheck {
    kOk,
    kMissing,   // the data file cannot be opened or measured
    kMismatch,  // the data file is not the one the index was written with
};

// Checks the data file against a parsed index: for a sealed index its exact size and trailer,
// otherwise that every entry lies inside it. An index without entries needs no data file.
DataCheck CheckDataFile(const std::string& dataPath, const ParsedIndex& index, std::string& why);

}  // namespace FileFormat

}  // namespace Quor::FileSystem::Impl
