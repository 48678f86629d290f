#pragma once
// Where the files of release-manifest entries live in the install tree, and look-ups of entries
// by name over one manifest or over every manifest a cache holds.
//
// Pure functions over their arguments (GetLocalFilePath only formats); thread-safe as far as the
// manifests and the cache are not changed meanwhile. The pointers returned point into the
// manifest (or the cache's manifests) and live as long as it does.
#include <string>

#include "common/ReleaseManifest.h"
#include "common/ReleaseManifestCache.h"
#include "common/ReleaseVersion.h"
#include "foundation/Types.h"

namespace Quor::Common {

// The entry's path below the root folder, beginning with "/", by its place (Common::PlaceOf):
//   managed (0x01, with or without 0x02): /projects/{project}/managedfiles/{entry version}/{name}
//   archived (0x02 alone): /projects/{project}/filearchives/{entry version}/{name} (inside that
//                folder's archives; a plain copy waits there before it is archived)
//   otherwise:   /projects/{project}/releases/{releaseVersion}/deploy/{name}
void GetLocalFilePath(std::string& path, const std::string& project, DWORD releaseVersion,
                      const ReleaseManifest::ENTRY& entry);

// The first entry, in manifest order among those whose name equals `name` without regard to case,
// whose flags hold every bit of requiredFlags and none of excludedFlags, and whose version equals
// `version` unless that is INVALID_RELEASE_VERSION. Null when there is none or manifest is null.
const ReleaseManifest::ENTRY* FindReleaseManifestEntryInFolder(const std::string& name, DWORD version,
                                                               DWORD requiredFlags, DWORD excludedFlags,
                                                               const ReleaseManifest* manifest);

// FindReleaseManifestEntryInFolder over the cache's manifests in key order (project, then version
// ascending); the first answer, or null.
const ReleaseManifest::ENTRY* FindReleaseManifestEntry(const std::string& name, DWORD version,
                                                       DWORD requiredFlags, DWORD excludedFlags,
                                                       const ReleaseManifestCache& cache);

}  // namespace Quor::Common
