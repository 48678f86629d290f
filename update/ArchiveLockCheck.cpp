#include "update/ArchiveLockCheck.h"

#include <set>

#include "archive/ManagedFileHelper.h"
#include "common/ConvertVersion.h"
#include "common/Log.h"
#include "update/UpdateProject.h"

namespace Quor::User::UpdateProject {

bool IsUpdateBlockedByArchiveLocks(const std::string& project, const Common::ReleaseManifest& source,
                                   const Common::ReleaseManifest& destination,
                                   const std::vector<Common::ReleaseManifest*>& installed) {
    QUOR_LOG(Log::VERBOSE, "%s", "");
    using Common::ReleaseManifest;
    // The releases that stay installed once the source has become the destination.
    std::vector<const ReleaseManifest*> staying;
    for (const ReleaseManifest* manifest : installed)
        if (manifest && manifest != &source) staying.push_back(manifest);
    staying.push_back(&destination);

    // Entries flagged managed as well live under managedfiles.
    const auto archived = [](const ReleaseManifest::ENTRY& entry) {
        return (entry.flags & (ReleaseManifest::FLAG_MANAGED | ReleaseManifest::FLAG_ARCHIVED)) ==
               ReleaseManifest::FLAG_ARCHIVED;
    };
    std::set<DWORD> checked;
    const auto locked = [&](const DWORD version) {
        if (!checked.insert(version).second || !ManagedFileHelper::IsArchiveLocked(project, version)) return false;
        QUOR_LOG(Log::ERROR, "Archived files of %s %s are locked by a reader: the update cannot rewrite them.",
                 project.c_str(), Common::ConvertVersion::ToString(version).c_str());
        return true;
    };
    for (const ReleaseManifest::ENTRY& entry : source.m_Entries)
        if (archived(entry) && !IsEntryInAnyReleaseManifest(entry, staying.begin(), staying.end()) &&
            locked(entry.version))
            return true;
    for (const ReleaseManifest::ENTRY& entry : destination.m_Entries)
        if (archived(entry) && !checked.count(entry.version) &&
            !ManagedFileHelper::DoesFileOrDirectoryExist(project, entry.version, entry.name) && locked(entry.version))
            return true;
    return false;
}

}  // namespace Quor::User::UpdateProject
