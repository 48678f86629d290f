#include "install/ArchiveOrPatchPlan.h"

#include "common/EntryPlacement.h"
#include "common/Log.h"
#include "install/PatchSelection.h"
#include "install/UpdateAndInstallShared.h"

namespace Quor::User::UpdateAndInstallShared {

using Common::ReleaseManifest;

bool PlanArchiveOrPatch(const ReleaseManifest::ENTRY& entry, const std::string& local,
                        const Common::PatchManifest* patch, const ReleaseManifest* patchSource, const DWORD inPlaceKind,
                        std::vector<FileToArchive>& toArchive, std::vector<FileToPatch>& toPatch,
                        Common::LocalFileSystem& fileSystem, AutoUpdateProgress& progress) {
    if (Common::PlaceOf(entry) == Common::EntryPlace::kArchived && CheckFile(local, entry, fileSystem, progress)) {
        toArchive.push_back({&entry, local});
        QUOR_LOG(Log::VERBOSE, "File \"%s\" was found and must be from interrupted update.  Will be archived.",
                 local.c_str());
        return true;
    }
    if (!patch) return false;
    const Common::PatchManifest::ENTRY* patchEntry = FindEntryByName(entry.name, entry.version, *patch);
    if (!patchEntry) {
        QUOR_LOG(Log::VERBOSE,
                 "Looked for \"%s\" in patch from release 0x%08lx to 0x%08lx but did not find it.  Will download "
                 "whole file instead.",
                 entry.name.c_str(), static_cast<unsigned long>(patch->m_SourceReleaseVersion),
                 static_cast<unsigned long>(patch->m_DestinationReleaseVersion));
        return false;
    }
    if (patchEntry->flags & Common::PatchManifest::FLAG_WHOLE_FILE) {
        toPatch.push_back({patchEntry, nullptr, &entry, local, FileToPatch::KIND_NEW_FILE | inPlaceKind});
        progress.DeltaBytesTotal(WORK_TYPE_DOWNLOAD, patchEntry->size);
        QUOR_LOG(Log::VERBOSE, "New File \"%s\" (%d bytes) will be created by patching", local.c_str(),
                 static_cast<int>(entry.size));
        return true;
    }
    const ReleaseManifest::ENTRY* source = patchSource ? FindManifestEntry(*patchSource, entry.name) : nullptr;
    if (!source) {
        QUOR_LOG(Log::ERROR, "Found file in patch manifest but could not find it in the source release manifest: %s",
                 entry.name.c_str());
        return false;
    }
    toPatch.push_back({patchEntry, source, &entry, local, inPlaceKind});
    progress.DeltaBytesTotal(WORK_TYPE_DOWNLOAD, patchEntry->size);
    if (patchEntry->flags & (Common::PatchManifest::FLAG_ZLIB | Common::PatchManifest::FLAG_LZMA))
        progress.DeltaBytesTotal(WORK_TYPE_DISK_ACCESS, 2 * static_cast<int64_t>(patchEntry->size));
    if (!(patchEntry->flags & Common::PatchManifest::FLAG_NO_DIFF))
        progress.DeltaBytesTotal(WORK_TYPE_DISK_ACCESS,
                                 static_cast<int64_t>(entry.size) + source->size + patchEntry->size);
    QUOR_LOG(Log::VERBOSE, "File \"%s\" (%d bytes) will be created by patching", local.c_str(),
             static_cast<int>(entry.size));
    return true;
}

}  // namespace Quor::User::UpdateAndInstallShared
