#pragma once
// Quor::User::LockFile / UnlockFile: where a reader finds the bytes of a file of an installed
// project release, named by its path in the release.
//
// The release manifest (from the caller's cache) says where the file lives: a managed file
// (flag 0x01) under {root}/projects/{project}/managedfiles/{entry version}/, an archived file
// (flag 0x02) inside a pair of the archive folder of the entry's version, otherwise a deploy
// file under {root}/projects/{project}/releases/{requested version}/deploy/. A path the manifest
// does not list is answered as given (relative to the reader's working folder).
// An archived file comes with the offset and size of its bytes in the data file and a handle that
// keeps the pair from being rewritten until UnlockFile; every other answer carries offset 0,
// size 0 and handle 0xFFFFFFFF (no handle), which UnlockFile accepts as a no-op.
// Results are HRESULTs with an ERROR line per failure; on failure the outputs stay empty, 0, 0
// and 0xFFFFFFFF. No lock: callers use these from one thread at a time (see ManagedFileHelper).
#include <cstdint>
#include <string>

#include "common/ReleaseManifestCache.h"
#include "foundation/Types.h"

namespace Quor::User {

constexpr uint32_t kNoLockHandle = 0xFFFFFFFF;

HRESULT LockFile(const std::string& project, const DWORD version, const std::string& path,
                 Common::ReleaseManifestCache& cache, std::string& filePath, uint32_t& offset, uint32_t& size,
                 uint32_t& handle);
HRESULT UnlockFile(const DWORD handle);

}  // namespace Quor::User
