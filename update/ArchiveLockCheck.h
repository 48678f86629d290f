#pragma once
// What a reader's lock would stop in an update in place, asked before the source folder moves:
// once moved, a failed update leaves no complete release behind. The update rewrites the archive
// folders of the source's archived entries that no release staying installed lists (they are
// removed) and of the destination's archived entries that their archive does not hold yet (they
// are added); a pair there that a reader holds locked (ManagedFileHelper::LockFile) cannot be
// rewritten.
// Runs on the job's thread like the managed-file layer it asks; reads no file content.
#include <string>
#include <vector>

#include "common/ReleaseManifest.h"
#include "foundation/Types.h"

namespace Quor::User::UpdateProject {

// True (logged at ERROR) when an archive folder the update from `source` to `destination` must
// rewrite holds a locked pair. `installed` are the complete releases' manifests, source included.
bool IsUpdateBlockedByArchiveLocks(const std::string& project, const Common::ReleaseManifest& source,
                                   const Common::ReleaseManifest& destination,
                                   const std::vector<Common::ReleaseManifest*>& installed);

}  // namespace Quor::User::UpdateProject
