#pragma once
// StoredForms: in which stored form the repair found each managed or archived copy good, by its
// key (the repair's validated-file key, compared without regard to case as SortedKeys does). One
// copy may be listed by several releases of a project in different stored forms (plain, or kept
// compressed with one codec, Common::UsesSameCopy): only the releases whose entry asks for the
// form found are complete over it.
//
// A value type used by one thread at a time; no lock.
#include <map>
#include <string>

#include "common/ReleaseManifest.h"
#include "update/SortedKeys.h"

namespace Quor::User {

class StoredForms {
public:
    // The copy at key is good as `entry` describes it.
    void Note(const std::string& key, const Common::ReleaseManifest::ENTRY& entry) { m_Found[key] = entry; }
    // Adds every copy other knows of.
    void Merge(const StoredForms& other);
    // False only when the copy at key was found good in a stored form other than entry's; a key
    // not noted here says nothing.
    bool Serves(const std::string& key, const Common::ReleaseManifest::ENTRY& entry) const;

private:
    struct Less {
        bool operator()(const std::string& a, const std::string& b) const { return SortedKeys::Less(a, b); }
    };
    std::map<std::string, Common::ReleaseManifest::ENTRY, Less> m_Found;
};

}  // namespace Quor::User
