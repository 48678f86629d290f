#include "update/FreeSpaceCheck.h"

#include "common/Log.h"
#include "foundation/CStd/CStdFiles.h"
#include "update/UpdateProject.h"

namespace Quor::User::UpdateProject {

using Common::ReleaseManifest;

uint64_t BytesTheUpdateWrites(const ReleaseManifest& source, const ReleaseManifest& destination,
                              const std::vector<ReleaseManifest*>& installed) {
    std::vector<const ReleaseManifest*> others;
    for (const ReleaseManifest* manifest : installed)
        if (manifest && manifest != &source) others.push_back(manifest);
    const ReleaseManifest* const sourceOnly[] = {&source};
    uint64_t bytes = 0;
    for (const ReleaseManifest::ENTRY& entry : destination.m_Entries) {
        const bool plain = !(entry.flags & (ReleaseManifest::FLAG_MANAGED | ReleaseManifest::FLAG_ARCHIVED));
        const bool bySource = IsEntryInAnyReleaseManifest(entry, std::begin(sourceOnly), std::end(sourceOnly));
        const bool byOther = IsEntryInAnyReleaseManifest(entry, others.begin(), others.end());
        // Shared copies are used where they are; the source's plain files come with the move.
        if (bySource || (byOther && !plain)) continue;
        bytes += (entry.flags & ReleaseManifest::FLAG_STORED_COMPRESSED) ? entry.compressedSize : entry.size;
    }
    return bytes;
}

bool IsUpdateBlockedByFreeSpace(const std::string& folder, const ReleaseManifest& source,
                                const ReleaseManifest& destination, const std::vector<ReleaseManifest*>& installed) {
    QUOR_LOG(Log::VERBOSE, "(%s)", folder.c_str());
    uint32_t blockSize = 0;
    uint64_t freeBlocks = 0, totalBlocks = 0;
    if (!Vorn::std_file_system_size(folder.c_str(), blockSize, freeBlocks, totalBlocks)) {
        QUOR_LOG(Log::WARNING, "Failed to read the free space of \"%s\".", folder.c_str());
        return false;
    }
    const uint64_t needed = BytesTheUpdateWrites(source, destination, installed);
    const uint64_t available = freeBlocks > UINT64_MAX / (blockSize ? blockSize : 1) ? UINT64_MAX : freeBlocks * blockSize;
    if (needed <= available) return false;
    QUOR_LOG(Log::ERROR, "Not enough free disk space for the update: %llu bytes needed, %llu available.",
             static_cast<unsigned long long>(needed), static_cast<unsigned long long>(available));
    return true;
}

}  // namespace Quor::User::UpdateProject
