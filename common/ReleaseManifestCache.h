#pragma once
// ReleaseManifestCache: loads the installed release manifest of a project release once,
// {root}/projects/{project}/releases/{a.b.c.d}/releasemanifest, and hands out the same object for
// every later request while the cache lives.
//
// - Keys are (project name byte for byte, version): "Game" and "game" are two keys.
// - The cache owns the manifests; the pointers it hands out stay valid until it is destroyed and
//   must not be deleted. Only successful loads are kept, so a failed Get is tried again next time.
// - Changes to a manifest file after it was cached are not seen.
// - A project name that is not one plain folder name (IsValidProjectName) is
//   refused with E_FAIL: it could name a file outside the install tree.
// - No lock: one thread uses a cache at a time; the manifests handed out are read-only.
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "common/ReleaseManifest.h"
#include "foundation/Types.h"

namespace Quor::Common {

class ReleaseManifestCache {
public:
    using Key = std::pair<std::string, DWORD>;
    using Map = std::map<Key, std::unique_ptr<ReleaseManifest>>;

    ReleaseManifestCache() = default;
    ~ReleaseManifestCache() = default;
    ReleaseManifestCache(const ReleaseManifestCache&) = delete;
    ReleaseManifestCache& operator=(const ReleaseManifestCache&) = delete;

    // Sets `manifest` to the cached manifest of the release, loading it when needed; on failure
    // `manifest` is null and the result is the failure of the load.
    HRESULT Get(const std::string& project, const DWORD version, const ReleaseManifest*& manifest);

    // The cached manifests in key order (project name, then version ascending).
    const Map& Manifests() const { return m_Manifests; }

private:
    Map m_Manifests;
};

}  // namespace Quor::Common
