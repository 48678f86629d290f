#pragma once
// Which installed release already holds the copy an entry would use (Common::UsesSameCopy: same
// name, entry version, place and stored form), by which an installation reuses a managed, archived
// or deploy copy; and whether an installed release lists the place of a managed or archived copy
// (Common::SharesLocation), by which an uninstall or an update keeps it. Whatever is reused is
// kept. Pure functions over manifests the caller keeps alive; null manifests count as none.
#include <algorithm>
#include <type_traits>

#include "common/EntryPlacement.h"
#include "common/ReleaseManifest.h"

namespace Quor::User {

// When several installed releases hold the copy: the lowest (first in ascending order), or the
// highest release version (the first found among equal versions).
enum class HolderChoice { kLowest, kHighest };

namespace CopyHoldersDetail {
template <typename Owner>
const Common::ReleaseManifest* Get(const Owner& manifest) {
    if constexpr (std::is_pointer_v<Owner>)
        return manifest;
    else
        return manifest.get();
}
}  // namespace CopyHoldersDetail

// True when the manifest lists an entry served by the same copy as entry.
inline bool ListsSameCopy(const Common::ReleaseManifest& manifest, const Common::ReleaseManifest::ENTRY& entry) {
    const auto [first, last] = std::equal_range(manifest.m_Entries.begin(), manifest.m_Entries.end(), entry,
                                                Common::ReleaseManifest::ENTRY::PredicateByName);
    return std::any_of(first, last, [&entry](const auto& listed) { return Common::UsesSameCopy(listed, entry); });
}

// True when the manifest lists an entry whose managed or archived copy lies where entry's does.
inline bool ListsSameLocation(const Common::ReleaseManifest& manifest, const Common::ReleaseManifest::ENTRY& entry) {
    const auto [first, last] = std::equal_range(manifest.m_Entries.begin(), manifest.m_Entries.end(), entry,
                                                Common::ReleaseManifest::ENTRY::PredicateByName);
    return std::any_of(first, last, [&entry](const auto& listed) { return Common::SharesLocation(listed, entry); });
}

// The release of `manifests` (ascending release versions, raw or owning pointers) that holds the
// copy entry would use, chosen as `choice` says; null when none does.
template <typename Manifests>
const Common::ReleaseManifest* FindCopyHolder(const Manifests& manifests, const Common::ReleaseManifest::ENTRY& entry,
                                              const HolderChoice choice) {
    const Common::ReleaseManifest* holder = nullptr;
    for (const auto& owner : manifests) {
        const Common::ReleaseManifest* manifest = CopyHoldersDetail::Get(owner);
        if (!manifest || (holder && manifest->m_ReleaseVersion <= holder->m_ReleaseVersion)) continue;
        if (!ListsSameCopy(*manifest, entry)) continue;
        holder = manifest;
        if (choice == HolderChoice::kLowest) break;
    }
    return holder;
}

// True when some release of `manifests` lists the place of entry's managed or archived copy: the
// copy there must be kept.
template <typename Manifests>
bool IsCopyUsedByAny(const Manifests& manifests, const Common::ReleaseManifest::ENTRY& entry) {
    return std::any_of(manifests.begin(), manifests.end(), [&entry](const auto& owner) {
        const Common::ReleaseManifest* manifest = CopyHoldersDetail::Get(owner);
        return manifest && ListsSameLocation(*manifest, entry);
    });
}

}  // namespace Quor::User
