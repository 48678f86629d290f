#pragma once
// Steps shared by the installation and the update of solution releases: which project provides
// each plain file of a solution release's deploy folder, copying and deleting those files, the
// choice of the solution release to install, and writing the release's "configurationmanifest".
//     project file:  {root}/projects/{project}/releases/{a.b.c.d}/deploy/{name}
//     solution file: {root}/solutions/{solution}/releases/{a.b.c.d}/deploy/{name}
//
// Free functions without state, run on the job thread of the calling operation; they do not lock,
// report no progress and do not test for cancellation (the file system and progress arguments are
// accepted for the callers' sake). Every failure is logged and returned as an HRESULT; the
// file steps stop at the first failing file, leaving what they did before. Solution and project
// names must be plain folder names (E_INVALIDARG otherwise); file names come from loaded manifests,
// which refuse names that would leave their folder.
#include <string>
#include <vector>

#include "common/AutoUpdateProgress.h"
#include "common/LocalFileSystem.h"
#include "common/ReleaseManifestCache.h"
#include "common/SolutionManifest.h"
#include "foundation/Types.h"
#include "remote/IRemoteFileServer.h"

namespace Quor::User::UpdateAndInstallSolutionShared {

// One plain file of a solution's deploy folder and the index of the project providing it in the
// project vector as GatherFiles sorted it. Vectors of it are sorted by name without regard to
// case, each name once.
struct UNMANAGED_FILE {
    std::string name;
    DWORD projectIndex = 0;
    static bool PredicateByName(const UNMANAGED_FILE& a, const UNMANAGED_FILE& b);
};

// Sorts projects by priority (highest first; equal priorities keep their order) and adds to files
// every plain file (flags & 3 == 0) of their release manifests whose name (without regard to case)
// is not there yet, so the highest-priority project carrying a name provides it. Fails, with files
// partly gathered, when a project's release manifest cannot be loaded.
HRESULT GatherFiles(std::vector<Common::SolutionManifest::PROJECT>& projects, Common::ReleaseManifestCache& cache,
                    std::vector<UNMANAGED_FILE>& files, AutoUpdateProgress& progress);

// Deletes the files from the solution release's deploy folder; a missing file is a failure.
HRESULT DeleteUnmanagedFiles(const std::vector<UNMANAGED_FILE>& files, const std::string& solution,
                             const DWORD version, Common::LocalFileSystem& fileSystem, AutoUpdateProgress& progress);

// Copies each file from its project's deploy folder over the solution's (a read-only destination
// is made writable and copied again once). A file that cannot be copied removes the providing
// project release's "S_OK" and ends the step with the copy's failure.
HRESULT CopyUnmanagedFiles(const std::vector<UNMANAGED_FILE>& files,
                           const std::vector<Common::SolutionManifest::PROJECT>& projects,
                           const std::string& solution, const DWORD version, Common::LocalFileSystem& fileSystem,
                           AutoUpdateProgress& progress);

// GatherFiles then CopyUnmanagedFiles. Files no project provides are left where they are.
HRESULT CopyDeployFolder(std::vector<Common::SolutionManifest::PROJECT>& projects, const std::string& solution,
                         const DWORD version, Common::LocalFileSystem& fileSystem, AutoUpdateProgress& progress);

// Any release may be installed: available is set to true.
HRESULT IsSolutionReleaseAvailable(const std::string& solution, const DWORD version, IRemoteFileServer& server,
                                   bool& available);

// The newest release the server lists (version INVALID_RELEASE_VERSION), or version when the
// server lists it; E_FAIL otherwise. chosen is set only on success.
HRESULT ChooseSolutionVersion(const std::string& solution, const DWORD version, IRemoteFileServer& server,
                              DWORD& chosen, AutoUpdateProgress& progress);

// Writes the release's "configurationmanifest" naming configuration and the projects (sorted by
// byte order); nothing is written when two projects have the same name.
HRESULT WriteConfigurationFile(const std::string& solution, const DWORD version, const std::string& configuration,
                               const std::vector<Common::SolutionManifest::PROJECT>& projects);

}  // namespace Quor::User::UpdateAndInstallSolutionShared
