#pragma once
// PatchManifest: the text file that says how to bring a project's files from one release (the
// source) to another (the destination): line 1 the project name, line 2 "source,destination",
// then one "name,source,destination[,size[,flags]]" line per file.
// GetRemoteFilePath: the server path (below the download path) of the data an entry fetches.
//
// - Entries are kept sorted by name without regard to case; names are unique under it.
// - Load treats the file as untrusted: a bad line stops the load with its line number. An entry
//   whose name is not a relative name (empty, absolute, an empty, "." or ".." segment, a
//   backslash) is refused alone, logged at ERROR with its line, and the load goes on: that file
//   has no patch (the update fetches it whole). Entries read before a failure stay.
// - Errors are HRESULTs, logged at ERROR. No lock: one thread uses an object at a time.
#include <string>
#include <vector>

#include "foundation/Types.h"

namespace Quor::Common {

class PatchManifest {
public:
    // Entry flags.
    static constexpr DWORD FLAG_ZLIB = 0x01;        // ".z" behind a patch, ".compressed" behind a whole file
    static constexpr DWORD FLAG_NO_DIFF = 0x02;     // source and destination are the same
    static constexpr DWORD FLAG_LZMA = 0x04;        // ".lzma2" behind the path
    static constexpr DWORD FLAG_WHOLE_FILE = 0x08;  // fetch the destination's file, not a patch

    struct ENTRY {
        std::string name;
        DWORD source = 0;       // release version the patch starts from
        DWORD destination = 0;  // release version it produces
        DWORD size = 1;         // bytes of work; written and read as a signed number
        DWORD flags = 0;

        static bool PredicateByName(const ENTRY& a, const ENTRY& b);
    };

    PatchManifest();

    HRESULT Load(const std::string& path);
    HRESULT Save(const std::string& path);
    // E_FAIL when an entry of that name (without regard to case) exists; otherwise a sorted insert.
    HRESULT AddEntry(const std::string& name, DWORD source, DWORD destination, DWORD size, DWORD flags);

    std::vector<ENTRY> m_Entries;
    DWORD m_SourceReleaseVersion;
    DWORD m_DestinationReleaseVersion;
    std::string m_ProjectName;
};

// "/projects/{project}/releases/{destination}/" then "patches/{source}/{name}" (+ ".z" with flag
// 0x01) for a patch, or "files/{name}" (+ ".compressed" with flag 0x01) with flag 0x08; then
// ".lzma2" with flag 0x04.
std::string GetRemoteFilePath(const std::string& project, const PatchManifest::ENTRY& entry);

}  // namespace Quor::Common
