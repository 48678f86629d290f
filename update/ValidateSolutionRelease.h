#pragma once
// Validation of one solution release: the project releases its configuration names, each
// validated as a project release is (files fetched again where wrong, then its "S_OK"), then every
// plain file of its deploy folder checked against the entry of the project that supplies it and
// copied again from that project where missing or wrong, then the release's own "S_OK".
//
// The manifests (solution, configuration, each project release's) are read before anything is
// fetched or copied. When one cannot be read or names another release, a release that was
// complete fails the validation; an incomplete one is logged and left without "S_OK" (S_OK).
// Runs on the job's thread; the walk state is used by one walk at a time.
#include <set>
#include <string>
#include <utility>

#include "common/AutoUpdateProgress.h"
#include "common/LocalFileSystem.h"
#include "common/ReleaseManifestCache.h"
#include "foundation/Types.h"
#include "remote/IRemoteFileServer.h"

namespace Quor::User::Validation {

// What one walk over a solution's releases shares between them: the project manifests read, and
// the project releases (name as the configuration spells it, version) validated already.
struct SolutionWalk {
    Common::ReleaseManifestCache m_Manifests;
    std::set<std::pair<std::string, DWORD>> m_ValidatedProjects;
};

// complete: whether the release had its "S_OK" when the walk began.
HRESULT ValidateSolutionRelease(const std::string& solution, DWORD version, bool complete,
                                Common::LocalFileSystem& fileSystem, IRemoteFileServer& server,
                                AutoUpdateProgress& progress, SolutionWalk& walk);

}  // namespace Quor::User::Validation
