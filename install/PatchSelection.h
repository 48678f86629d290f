#pragma once
// Choosing what an installation or update patches from: the installed release whose patch to the
// wanted release the server holds, the patch-manifest entry of one file, and the disk work a
// downloaded file adds to the progress totals.
//
// Free functions run on the job thread of the calling operation. FindBestPatchForRelease hands
// back two manifests made with new that the caller owns and deletes (both null when no installed
// release has a patch, which is a success); it reads the working folder's install tree and asks
// the server, and returns the callee's failure unchanged. The others only read their arguments.
#include <string>

#include "common/AutoUpdateProgress.h"
#include "common/LocalFileSystem.h"
#include "common/ReleaseManifest.h"
#include "foundation/Types.h"
#include "remote/IRemoteFileServer.h"
#include "remote/PatchManifest.h"

namespace Quor::User::UpdateAndInstallShared {

// The newest complete installed release of project from which the server has a patch manifest to
// version: its patch manifest and its release manifest. On a failure after the patch manifest was
// loaded (the source's release manifest) patchManifest stays set and sourceManifest null.
HRESULT FindBestPatchForRelease(const std::string& project, const DWORD version, Common::LocalFileSystem& fileSystem,
                                IRemoteFileServer& server, Common::PatchManifest*& patchManifest,
                                Common::ReleaseManifest*& sourceManifest, AutoUpdateProgress& progress);

// The only entry named name (without regard to case) when its destination version is version;
// null when the name is absent, listed more than once, or made for another version.
const Common::PatchManifest::ENTRY* FindEntryByName(const std::string& name, DWORD version,
                                                    const Common::PatchManifest& manifest);

// The order of release versions, newest first.
bool GreaterVersion(DWORD a, DWORD b);

// Adds size + compressed size as disk work when a downloaded copy of entry is expanded or
// compressed on the local disk (fetched compressed and not kept so, or kept compressed but fetched
// plain); nothing otherwise.
void AddEntryBytesToTotal(const Common::ReleaseManifest::ENTRY& entry, AutoUpdateProgress& progress);

}  // namespace Quor::User::UpdateAndInstallShared
