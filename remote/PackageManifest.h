#pragma once
// PackageManifest: the text file "packagemanifest" that says, for every file of a release held
// in a package bin, which bin holds it and where ("PKG1", then "name,bin,offset,length,value"
// lines).
//
// - Entries are kept sorted by name and package records by bin, both without regard to case;
//   names are unique under that comparison, and each bin's record sums the lengths of its files.
// - Load treats the file as untrusted: a bad line stops the load with E_FAIL and its line number;
//   a name whose segments include "..", "." or empty ones (one leading "/" allowed: names are
//   server paths), or a bin name that is not a relative name, is a bad line. Entries read before
//   a failure stay.
// - Errors are HRESULTs, logged at ERROR. No lock: one thread uses an object at a time.
#include <string>
#include <vector>

#include "foundation/Types.h"

namespace Quor::Common {

class PackageManifest {
public:
    struct ENTRY {
        std::string name;
        std::string bin;
        DWORD offset = 0;  // byte offset of the file in the bin
        DWORD length = 0;  // byte length of the file in the bin
        DWORD value = 0;   // stored and written back; not interpreted
    };
    struct PACKAGE {
        std::string bin;
        DWORD total = 0;     // sum of the lengths of the bin's entries
        DWORD reserved = 0;  // always 0
    };

    static bool PredicateByName(const ENTRY& a, const ENTRY& b);
    static bool PredicateByName(const PACKAGE& a, const PACKAGE& b);

    HRESULT Load(const std::string& path);
    HRESULT Save(const std::string& path);
    // E_FAIL when an entry of that name (without regard to case) exists; otherwise inserts it and
    // adds its length to its bin's record (created when new).
    HRESULT AddEntry(const std::string& name, const std::string& bin, DWORD offset, DWORD length,
                     DWORD value);
    // S_OK and a copy of the record, or E_FAIL when there is none; nothing is logged.
    HRESULT FindEntry(const std::string& name, ENTRY& entry) const;
    HRESULT FindPackage(const std::string& bin, PACKAGE& package) const;

    std::vector<ENTRY> m_Entries;
    std::vector<PACKAGE> m_Packages;
};

}  // namespace Quor::Common
