#include "remote/ReleaseManifestPaths.h"

#include <algorithm>

#include "common/ConvertVersion.h"
#include "common/EntryPlacement.h"

namespace Quor::Common {

void GetLocalFilePath(std::string& path, const std::string& project, DWORD releaseVersion,
                      const ReleaseManifest::ENTRY& entry) {
    const EntryPlace place = PlaceOf(entry);
    if (place == EntryPlace::kManaged) {
        path = "/projects/" + project + "/managedfiles/" + ConvertVersion::ToString(entry.version) + "/" +
               entry.name;
    } else if (place == EntryPlace::kArchived) {
        path = "/projects/" + project + "/filearchives/" + ConvertVersion::ToString(entry.version) + "/" +
               entry.name;
    } else {
        path = "/projects/" + project + "/releases/" + ConvertVersion::ToString(releaseVersion) + "/deploy/" +
               entry.name;
    }
}

const ReleaseManifest::ENTRY* FindReleaseManifestEntryInFolder(const std::string& name, DWORD version,
                                                               DWORD requiredFlags, DWORD excludedFlags,
                                                               const ReleaseManifest* manifest) {
    if (!manifest) return nullptr;
    ReleaseManifest::ENTRY key;
    key.name = name;
    const auto& entries = manifest->m_Entries;
    auto [first, last] =
        std::equal_range(entries.begin(), entries.end(), key, ReleaseManifest::ENTRY::PredicateByName);
    for (auto it = first; it != last; ++it) {
        if ((it->flags & requiredFlags) != requiredFlags) continue;
        if (it->flags & excludedFlags) continue;
        if (version != INVALID_RELEASE_VERSION && it->version != version) continue;
        return &*it;
    }
    return nullptr;
}

const ReleaseManifest::ENTRY* FindReleaseManifestEntry(const std::string& name, DWORD version,
                                                       DWORD requiredFlags, DWORD excludedFlags,
                                                       const ReleaseManifestCache& cache) {
    for (const auto& [key, manifest] : cache.Manifests()) {
        if (const ReleaseManifest::ENTRY* found =
                FindReleaseManifestEntryInFolder(name, version, requiredFlags, excludedFlags, manifest.get()))
            return found;
    }
    return nullptr;
}

}  // namespace Quor::Common
