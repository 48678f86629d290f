#include "update/StoredForms.h"

#include "common/EntryPlacement.h"

namespace Quor::User {

void StoredForms::Merge(const StoredForms& other) {
    for (const auto& [key, entry] : other.m_Found) m_Found[key] = entry;
}

bool StoredForms::Serves(const std::string& key, const Common::ReleaseManifest::ENTRY& entry) const {
    const auto found = m_Found.find(key);
    return found == m_Found.end() || Common::UsesSameCopy(found->second, entry);
}

}  // namespace Quor::User
