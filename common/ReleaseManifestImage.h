#pragma once
// The two halves of reading a release manifest (used by ReleaseManifest::Load and Parse):
// ParseReleaseManifestTables takes the bytes of a file apart into its tables, checking every count
// against the bytes present; WalkReleaseManifestDirectories walks the directory tree from the root
// and makes the entries, checking every index and range against the tables. Neither touches a
// file; both log each failure at ERROR under the load's tag. The tables view the bytes they were
// parsed from (strings), which must outlive them.
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <vector>

#include "common/ReleaseManifest.h"
#include "common/ReleaseManifestFormat.h"

namespace Quor::Common {

extern const char* const RELEASE_MANIFEST_LOAD_TAG;

struct ReleaseManifestTables {
    DWORD version = 0;
    DWORD projectNameIndex = 0;
    DWORD releaseVersion = 0;
    std::vector<File::DirectoryTableEntry> directories;
    std::vector<File::FileTableEntry> files;
    std::vector<std::string_view> strings;
};

// S_OK or E_FAIL. A part the bytes do not hold in full is reported together with the state of
// stream, the file the bytes came from (null for bytes from memory).
HRESULT ParseReleaseManifestTables(const uint8_t* bytes, size_t size, FILE* stream, ReleaseManifestTables& tables);

// Sets the project name and release version, and appends the entries in walk order (unsorted).
// S_OK, E_FAIL, or E_ABORT when the flag is set before a directory.
HRESULT WalkReleaseManifestDirectories(const ReleaseManifestTables& tables, const signed char* cancel,
                                       ReleaseManifest& manifest);

}  // namespace Quor::Common
