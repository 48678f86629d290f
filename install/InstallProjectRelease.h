#pragma once
// Installs one release of one project into {root}/projects/{project}/releases/{a.b.c.d}/, in two
// phases whose constructors do the whole work and leave their result in m_hr:
//   Discover chooses the release, prepares its folders, looks for a patch from an installed
//   release, fetches and loads the release manifest and sorts every entry into the work lists
//   (copy from an installed release, drop a bad archived copy, patch, archive a naked file,
//   download), announcing the expected bytes to the progress. It owns the manifests the lists
//   point into (the target's, the patch's and its source's, and the installed releases').
//   A manifest that names another project or release is refused.
//   Execute runs copy, delete-from-archives, patch, archive and download over those lists, leaves
//   in the deploy folder only the files the manifest lists, runs the run-me programs and, when
//   every step succeeded, creates the release's "S_OK".
// A release that is already complete keeps its "S_OK" (and its manifest, the new one is fetched
// aside) until the plan is made; it loses them before anything of it changes: when the plan holds
// work or the fetched manifest differs. A stop before then leaves it complete and untouched; a
// complete release is never its own holder or patch source. Any failure after work began leaves
// the release without "S_OK" and a later attempt reuses what is on disk. Both phases run on the caller's (job) thread; the Discover must
// outlive its Execute, and the InputParameters (references only) must outlive the Discover.
#include <memory>
#include <string>
#include <vector>

#include "common/AutoUpdateProgress.h"
#include "common/LocalFileSystem.h"
#include "common/ReleaseManifest.h"
#include "foundation/Types.h"
#include "install/WorkLists.h"
#include "remote/IRemoteFileServer.h"
#include "remote/PatchManifest.h"

namespace Quor::Common {
class AutoTemporaryFile;
}

namespace Quor::User::InstallProjectRelease {

struct InputParameters {
    const std::string& m_ProjectName;
    DWORD m_ReleaseVersion;  // INVALID_RELEASE_VERSION: the newest the server offers
    Common::LocalFileSystem& m_LocalFileSystem;
    IRemoteFileServer& m_RemoteFileServer;
    AutoUpdateProgress& m_AutoUpdateProgress;
};

class Discover {
public:
    explicit Discover(const InputParameters& inputParameters);
    ~Discover();
    Discover(const Discover&) = delete;
    Discover& operator=(const Discover&) = delete;

    const InputParameters& m_InputParameters;
    HRESULT m_hr = S_OK;
    std::unique_ptr<Common::PatchManifest> m_PatchManifest;          // null: no patch applies
    std::unique_ptr<Common::ReleaseManifest> m_PatchSourceManifest;  // null: no patch applies
    // Execute's steps append what they could not produce.
    mutable std::vector<FileToDownload> m_FilesToDownload;
    std::vector<FileToPatch> m_FilesToPatch;
    std::vector<FileToCopy> m_FilesToCopy;
    std::vector<FileToArchive> m_FilesToArchive;
    std::vector<FileToDeleteFromArchive> m_FilesToDeleteFromArchive;
    // Installed releases whose copies this one replaces in another stored form: Execute withdraws
    // their "S_OK" before it changes a file.
    std::vector<DWORD> m_DisplacedReleases;
    DWORD m_ReleaseVersion;  // the chosen release; INVALID_RELEASE_VERSION until chosen
    Common::ReleaseManifest m_ReleaseManifest;
    std::string m_ReleaseVersionString;
    // The installed releases' manifests (ascending, the target excluded): FileToCopy sources.
    std::vector<std::unique_ptr<Common::ReleaseManifest>> m_InstalledManifests;

private:
    // Whether installing the complete release again changes it: any work, or another manifest.
    bool ChangesTheRelease(const std::string& fetchedManifest, const std::string& localManifest) const;
    // For a release that was complete: when it changes, deletes its "S_OK" and then moves the
    // fetched manifest into place; otherwise leaves both as they are.
    HRESULT GiveUpCompletion(Common::AutoTemporaryFile& fetchedManifest, const std::string& localManifest,
                             const std::string& okPath) const;
};

class Execute {
public:
    explicit Execute(const Discover& discover);
    Execute(const Execute&) = delete;
    Execute& operator=(const Execute&) = delete;

    const Discover& m_Discover;
    HRESULT m_hr = S_OK;
};

}  // namespace Quor::User::InstallProjectRelease
