#pragma once
// Turns a complete installed release of a solution (the source) into another release (the target)
// in the source's own folder, in two phases whose constructors do the work and leave their result
// in m_hr:
//   Discover loads the solution's other complete releases, remembers the source's project
//   manifests, takes the source's "S_OK" away, moves (or copies) the source folder to the target's
//   name, fetches and loads the target's solution manifest, and runs the discovery of each project
//   release of the configuration that is not complete yet: an update in place from the release
//   the source used when no other complete release of this or any other installed solution uses
//   that one, an installation otherwise.
//   Execute runs the project phases, brings the deploy folder from the source's plain files to the
//   target's (copying what changed provider or is new, deleting what is gone), writes the
//   "configurationmanifest" and, as its very last step, the target's "S_OK".
// From the removal of the source's "S_OK" onward the source is no longer installed; an
// interrupted update leaves the target folder without "S_OK", which a later solution update
// installs over. The Discover owns the project phases and the installed-solution records it made;
// the InputParameters must outlive the Discover, and the Discover its Execute. Runs on the job's
// thread; cancellation reaches it as the E_ABORT of the project phases.
#include <memory>
#include <string>
#include <vector>

#include "common/AutoUpdateProgress.h"
#include "common/LocalFileSystem.h"
#include "common/ReleaseManifestCache.h"
#include "foundation/Types.h"
#include "install/InstallProjectRelease.h"
#include "install/InstalledSolutionInfo.h"
#include "remote/IRemoteFileServer.h"
#include "update/UpdateProject.h"

namespace Quor::User::UpdateSolution::UpdateInPlace {

struct InputParameters {
    std::string m_SolutionName;
    DWORD m_SourceVersion;
    DWORD m_TargetVersion;
    std::string m_ConfigurationName;
    Common::LocalFileSystem& m_LocalFileSystem;
    IRemoteFileServer& m_RemoteFileServer;
    AutoUpdateProgress& m_AutoUpdateProgress;
};

class Discover {
public:
    explicit Discover(const InputParameters& inputParameters);
    ~Discover();  // the project phases first, then their inputs, then the records
    Discover(const Discover&) = delete;
    Discover& operator=(const Discover&) = delete;

    const InputParameters* m_InputParameters;
    HRESULT m_hr = S_OK;
    // Project release manifests: the source's, taken before any project release is moved.
    mutable Common::ReleaseManifestCache m_ManifestCache;
    // Entry k of each discovery vector was built from entry k of its input vector; a failed
    // discovery stays in its vector. Install inputs name projects of m_DestinationInfo.
    std::vector<std::unique_ptr<InstallProjectRelease::InputParameters>> m_InstallInputParameters;
    std::vector<std::unique_ptr<InstallProjectRelease::Discover>> m_InstallDiscovers;
    std::vector<std::unique_ptr<UpdateProject::InputParameters>> m_UpdateInputParameters;
    std::vector<std::unique_ptr<UpdateProject::Discover>> m_UpdateDiscovers;
    std::unique_ptr<InstalledSolutionInfo> m_SourceInfo;
    std::unique_ptr<InstalledSolutionInfo> m_DestinationInfo;
    InstalledSolutionInfoList m_OtherReleases;  // the solution's other complete releases
    // The complete releases of every other installed solution; a project release one of them
    // lists is installed beside, never moved. Not known (unreadable): no project release is moved.
    InstalledSolutionInfoList m_OtherSolutionsReleases;
    bool m_OtherSolutionsKnown = false;

private:
    HRESULT SetupStep();
    HRESULT UpdateInPlaceDiscoveryStep();
};

// Logs a failure for each project manifest of `info` that cannot be loaded into the cache; the
// walk goes on past it.
void CacheProjectsManifests(const InstalledSolutionInfo& info, Common::ReleaseManifestCache& cache);

class Execute {
public:
    explicit Execute(const Discover& discover);
    Execute(const Execute&) = delete;
    Execute& operator=(const Execute&) = delete;

    const Discover* m_Discover;
    HRESULT m_hr = S_OK;
};

// Brings the target's deploy folder from the source's plain files to the destination's: copies
// each file the destination provides from another project (by name, without regard to case) or
// project release than the source did, or that the source did not have, and deletes each file the
// destination no longer has.
HRESULT PrepareDeployFolderStep(const InstalledSolutionInfo& source, const InstalledSolutionInfo& destination,
                                Common::ReleaseManifestCache& cache, Common::LocalFileSystem& fileSystem,
                                AutoUpdateProgress& progress);

}  // namespace Quor::User::UpdateSolution::UpdateInPlace
