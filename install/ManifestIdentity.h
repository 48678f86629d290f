#pragma once
// Whether a release manifest fetched for one project release describes that release: the same
// project name (without regard to case) and the same release version. A stale or misnamed
// manifest would otherwise place its files under another project's archives or another
// release's folder, and the release asked for would be marked complete over them.
// A pure check; a mismatch is logged at ERROR under the caller's tag.
#include <string>

#include "common/ReleaseManifest.h"
#include "foundation/Types.h"

namespace Quor::User {

bool IsManifestOfRelease(const Common::ReleaseManifest& manifest, const std::string& project, DWORD version);

}  // namespace Quor::User
