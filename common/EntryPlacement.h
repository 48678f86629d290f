#pragma once
// Where the installed copy of a release-manifest entry lives, and when two entries (of two
// releases) are served by one and the same installed copy. Every step that places, looks for,
// runs, checks, keeps or deletes an entry's copy decides through these two functions:
//   managed (0x01, also when 0x02 is set too): a plain file managedfiles/{entry version}/{name};
//   archived (0x02 without 0x01): a stored path of the archive pairs of filearchives/{entry version}/;
//   otherwise: a file of the release's own deploy folder.
// Pure functions over their arguments; thread-safe.
#include "common/ReleaseManifest.h"
#include "foundation/Types.h"

namespace Quor::Common {

enum class EntryPlace { kDeploy, kManaged, kArchived };

EntryPlace PlaceOf(const ReleaseManifest::ENTRY& entry);

// True when both entries' copies lie in one place: the same name (without regard to case), entry
// version and place (for deploy files: when both are in one release's folder). A managed path or
// an archived name holds one copy, so uninstall and update keep it while an installed release
// lists it.
bool SharesLocation(const ReleaseManifest::ENTRY& a, const ReleaseManifest::ENTRY& b);

// True when one installed copy serves both entries: they share a location and have the same
// stored form (plain, or kept compressed with the
// same codec). The server forms (0x04, 0x20 without 0x10) and the run-me flag do not change the
// copy. Installation reuses a copy under this rule; where only the stored form differs, it replaces
// the copy and the release that used it stops being complete.
bool UsesSameCopy(const ReleaseManifest::ENTRY& a, const ReleaseManifest::ENTRY& b);

}  // namespace Quor::Common
