#pragma once
// The binary layout of a release manifest file. Every number is unsigned 32-bit little-endian;
// the parts follow each other without gaps:
//   header        magic "RLSM", format version
//   project info  index of the project name in the string list, release version
//   directories   count, then count DirectoryTableEntry records (20 bytes); record 0 is the root
//   files         count, then count FileTableEntry records (36 bytes; 44 in version 0x10001,
//                 whose last 8 bytes are read and dropped)
//   strings       count, byte size, then the zero-terminated strings back to back
// Constants and plain records only; no state.
#include <cstddef>

#include "foundation/Types.h"

namespace Quor::Common::File {

constexpr DWORD MAGIC = 0x4D534C52;  // "RLSM"
constexpr DWORD VERSION_0x10001 = 0x10001;
constexpr DWORD VERSION_0x10002 = 0x10002;
constexpr DWORD CURRENT_VERSION = VERSION_0x10002;
constexpr DWORD HEADER_VERSIONS[] = {VERSION_0x10001, VERSION_0x10002};

constexpr DWORD NO_NAME = 0xFFFFFFFF;  // directory record without a name

constexpr size_t DIRECTORY_RECORD_SIZE = 20;
constexpr size_t FILE_RECORD_SIZE = 36;
constexpr size_t FILE_RECORD_SIZE_0x10001 = 44;

struct DirectoryTableEntry {
    DWORD nameIndex;
    DWORD firstSubdirectory;
    DWORD subdirectoryCount;
    DWORD firstFile;
    DWORD fileCount;
};

struct FileTableEntry {
    DWORD nameIndex;
    DWORD version;
    unsigned char md5[16];
    DWORD flags;
    DWORD size;
    DWORD compressedSize;
};

}  // namespace Quor::Common::File
