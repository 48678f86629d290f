#pragma once
// ReleaseManifest: every file of one release of one project, with the binary "RLSM" format
// (written as version 0x10002, read as 0x10001 or 0x10002).
//
// - Entries are kept sorted by PredicateByName (name without regard to case) after Load, Add and
//   SortEntries; users look entries up by binary search with that predicate. AddUnsorted appends
//   and leaves the sort to SortEntries.
// - Load (and Parse, for bytes in memory) treats the file as untrusted: every count, index and
//   range is checked against the bytes present, a directory or file record reached twice is
//   refused, and an entry name that is absolute, has an empty, "." or ".." segment, a backslash,
//   or is longer than MAX_ENTRY_NAME_LENGTH fails the load. A failed Load or Parse leaves a
//   partial object: discard it.
// - Errors are HRESULTs (E_FAIL, E_ABORT when cancelled, or the system error's code for Save) and
//   are logged at ERROR; allocation failures throw.
// - No lock: one thread uses an object at a time. The cancellation flag belongs to the caller and
//   may be set from another thread; it is read at the start of Load (and Parse), before each
//   directory of their walk and before each comparison of a sort.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/Types.h"

namespace Quor::Common {

class ReleaseManifest {
public:
    // Entry flags.
    static constexpr DWORD FLAG_MANAGED = 0x01;   // managedfiles/{entry version}/{name}
    static constexpr DWORD FLAG_ARCHIVED = 0x02;  // in an archive pair of filearchives/{entry version}/
    static constexpr DWORD FLAG_ZLIB = 0x04;      // served as name + ".compressed"
    static constexpr DWORD FLAG_RUN_ONCE = 0x08;  // started once after the files are in place
    static constexpr DWORD FLAG_STORED_COMPRESSED = 0x10;  // the stored copy holds compressedSize bytes
    static constexpr DWORD FLAG_LZMA = 0x20;               // served as name + ".lzma2"

    // Longest entry name Load accepts (the system's path buffers hold 1024 bytes).
    static constexpr size_t MAX_ENTRY_NAME_LENGTH = 1023;

    struct ENTRY {
        std::string name;   // path inside the release, "/"-separated, no leading "/"
        DWORD version = 0;  // release version that published this content
        unsigned char md5[16] = {};
        DWORD flags = 0;
        DWORD size = 0;
        DWORD compressedSize = 0;

        // Name without regard to case (Vorn::std_stricmp).
        static bool PredicateByName(const ENTRY& a, const ENTRY& b);
        // Name without regard to case, then flags.
        static bool PredicateByNameThenFlags(const ENTRY& a, const ENTRY& b);
        // Name without regard to case, then version, then flags.
        static bool PredicateByNameThenVersionThenFlags(const ENTRY& a, const ENTRY& b);
    };

    ReleaseManifest();

    HRESULT Load(const std::string& path, const signed char* cancel);
    // What Load does with the bytes of a file, for bytes already in memory (same checks, same
    // errors; nothing is read from disk).
    HRESULT Parse(const uint8_t* bytes, size_t size, const signed char* cancel);
    HRESULT Save(const std::string& path);

    // Sorted insert; E_FAIL when an entry of that name (without regard to case) exists.
    HRESULT Add(const std::string& name, DWORD version, const unsigned char (&md5)[16], DWORD flags,
                DWORD size, DWORD compressedSize);
    // Appends; always S_OK.
    HRESULT AddUnsorted(const std::string& name, DWORD version, const unsigned char (&md5)[16], DWORD flags,
                        DWORD size, DWORD compressedSize);
    // Sorts by PredicateByName. E_ABORT when the flag is set after sorting (the entries are then
    // all still present, in an unspecified order), else S_OK.
    HRESULT SortEntries(const signed char* cancel);

    std::string m_ProjectName;
    DWORD m_ReleaseVersion;
    std::vector<ENTRY> m_Entries;
};

// Orders entries as ENTRY::PredicateByName; throws (after an ERROR line) once the flag is set.
class PredicateByNameWithCancel {
public:
    explicit PredicateByNameWithCancel(const signed char* cancel) : m_Cancel(cancel) {}
    bool operator()(const ReleaseManifest::ENTRY& a, const ReleaseManifest::ENTRY& b) const;
    // Throws (after the ERROR line) when the flag is set; what operator() does before comparing.
    void CheckCancel() const;

private:
    const signed char* m_Cancel;
};

// True when the caller's cancellation flag is set (a null flag is never set).
bool IsCancelRequested(const signed char* cancel);

}  // namespace Quor::Common
