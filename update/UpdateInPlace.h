#pragma once
// Brings a project from a complete installed release (the source) to another release (the
// target) in the source's own folder: DoDiscovery loads the installed releases' manifests, looks
// for a patch, fetches the target's manifest (refused unless it names the target's project and
// release) and checks that no reader's lock keeps an archive it must rewrite and that the disk
// can take the new files; only then does it take the source's "S_OK" away and move (or copy) the
// source folder to the target's name, and it sorts each manifest entry into the work lists
// without reading file contents where no check demands it. Execute copies, drops bad archived copies, patches, archives, downloads, deletes the
// files no installed release needs any more, removes from the deploy folder the source's files the
// target does not list (a file no release lists is the program's or its user's and stays), runs the run-me-once programs and writes the target's "S_OK" as its very last
// step.
// From the removal of the source's "S_OK" onward the source is no longer installed; an
// interrupted update leaves the target folder without "S_OK", which a later update resumes.
// The object owns the installed releases' manifests, the patch manifest and its source's manifest
// that its work lists point into. A failure sticks: every later call answers it. Runs on the
// job's thread; cancellation is the progress's flag.
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

namespace Quor::User::UpdateProject {

class UpdateInPlace {
public:
    UpdateInPlace(const std::string& project, const DWORD source, const DWORD target,
                  Common::LocalFileSystem& fileSystem, User::IRemoteFileServer& server,
                  Quor::User::AutoUpdateProgress& progress);
    ~UpdateInPlace();
    UpdateInPlace(const UpdateInPlace&) = delete;
    UpdateInPlace& operator=(const UpdateInPlace&) = delete;

    HRESULT DoDiscovery();
    HRESULT Execute();

    const std::string m_ProjectName;
    const DWORD m_SourceVersion;
    const DWORD m_TargetVersion;
    Common::LocalFileSystem& m_LocalFileSystem;
    IRemoteFileServer& m_RemoteFileServer;
    AutoUpdateProgress& m_AutoUpdateProgress;
    HRESULT m_hr = S_OK;
    bool m_Discovered = false;
    std::vector<FileToDownload> m_FilesToDownload;
    std::vector<FileToPatch> m_FilesToPatch;
    std::vector<FileToCopy> m_FilesToCopy;
    std::vector<FileToArchive> m_FilesToArchive;
    std::vector<FileToDeleteFromArchive> m_FilesToDeleteFromArchive;
    // Installed releases whose copies the target replaces in another stored form (ReleasePlan).
    std::vector<DWORD> m_DisplacedReleases;
    Common::ReleaseManifest m_DestinationManifest;
    // The installed releases' manifests (ascending); once the old files are looked for, every
    // release that stays installed: the source's leaves and the destination's joins.
    std::vector<Common::ReleaseManifest*> m_InstalledManifests;
    Common::PatchManifest* m_PatchManifest = nullptr;         // null: no patch applies
    Common::ReleaseManifest* m_PatchSourceManifest = nullptr;  // null: no patch applies

private:
    HRESULT SetupStep();
    HRESULT FetchDestinationManifest(const std::string& path);
    void RestoreSource(bool moved, bool recorded, const std::string& sourceFolder, const std::string& targetFolder,
                       const std::string& sourceOk);
    HRESULT CalculateWorkStep();
    HRESULT FindUnusedOldFilesStep(std::vector<std::string>& files,
                                   std::vector<std::pair<DWORD, std::string>>& archivedFiles);
    HRESULT DeleteFilesStep(const std::vector<std::string>& files,
                            const std::vector<std::pair<DWORD, std::string>>& archivedFiles);
    bool CancelRequested() const;

    std::vector<std::unique_ptr<Common::ReleaseManifest>> m_OwnedManifests;
    std::unique_ptr<Common::PatchManifest> m_OwnedPatchManifest;
    std::unique_ptr<Common::ReleaseManifest> m_OwnedPatchSourceManifest;
};

}  // namespace Quor::User::UpdateProject
