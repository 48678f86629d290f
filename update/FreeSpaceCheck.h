#pragma once
// Whether the disk can take an update in place, asked before the source folder moves: once moved,
// a failed update leaves no complete release behind. The bytes counted are a lower bound of what
// the update writes while the source's files are still there (they are deleted last): the stored
// size of every destination entry that no installed release holds with the same name, version
// and flags, and of every plain file held only by a release other than the source (it is
// copied). An update refused here would have run out of space anyway.
// Reads no file content; runs on the job's thread.
#include <cstdint>
#include <string>
#include <vector>

#include "common/ReleaseManifest.h"
#include "foundation/Types.h"

namespace Quor::User::UpdateProject {

// The lower bound described above.
uint64_t BytesTheUpdateWrites(const Common::ReleaseManifest& source, const Common::ReleaseManifest& destination,
                              const std::vector<Common::ReleaseManifest*>& installed);

// True (logged at ERROR) when the file system holding `folder` has fewer free bytes than the
// update from `source` to `destination` writes. A free space that cannot be read blocks nothing.
bool IsUpdateBlockedByFreeSpace(const std::string& folder, const Common::ReleaseManifest& source,
                                const Common::ReleaseManifest& destination,
                                const std::vector<Common::ReleaseManifest*>& installed);

}  // namespace Quor::User::UpdateProject
