#pragma once
// Quor::Orvane::Engine: the install, update, repair and validation operations the request
// handlers call, one virtual operation each, so that every handler reaches the engine through one
// seam (tests put a recording engine in its place).
//
// The listings, the file locks, the log level, project and solution release installation (the
// Discover then the Execute phase), project and solution update (to the newest release the server
// offers), repair of the whole installed tree, validation, solution discovery, uninstall and
// program start call the engine's real code; their results are passed on unchanged. An operation
// that fails or is cancelled first drops the archive changes it queued and did not write
// (ManagedFileHelper::DiscardChanges), so the next job starts from the archives on disk.
// Threads: called from the one running job of the request server; no state of its own.
#include <string>
#include <vector>

#include "common/AutoUpdateProgress.h"
#include "common/LocalFileSystem.h"
#include "common/ReleaseManifestCache.h"
#include "foundation/Types.h"
#include "remote/IRemoteFileServer.h"

namespace Quor::Orvane {

// What the discovery of a solution release install found (the preview of a game version).
struct SolutionDiscovery {
    bool alreadyInstalled = false;
    DWORD version = 0xFFFFFFFF;  // the release the discovery settled on
};

class Engine {
public:
    using FileSystem = Quor::Common::LocalFileSystem;
    using Server = Quor::User::IRemoteFileServer;
    using Progress = Quor::User::AutoUpdateProgress;

    virtual ~Engine() = default;

    virtual HRESULT EnumerateAvailableProjects(Server& server, std::vector<std::string>& names);
    virtual HRESULT EnumerateInstalledProjects(FileSystem& fs, std::vector<std::string>& names);
    virtual HRESULT EnumerateAvailableProjectReleases(const std::string& project, Server& server,
                                                      std::vector<DWORD>& versions);
    virtual HRESULT EnumerateInstalledProjectReleases(const std::string& project, FileSystem& fs,
                                                      std::vector<DWORD>& versions);
    virtual HRESULT EnumerateAvailableSolutions(Server& server, std::vector<std::string>& names);
    virtual HRESULT EnumerateInstalledSolutions(FileSystem& fs, std::vector<std::string>& names);
    virtual HRESULT EnumerateAvailableSolutionReleases(const std::string& solution, Server& server,
                                                       std::vector<DWORD>& versions);
    virtual HRESULT EnumerateInstalledSolutionReleases(const std::string& solution, FileSystem& fs,
                                                       std::vector<DWORD>& versions);

    virtual HRESULT InstallProjectRelease(const std::string& project, DWORD version, FileSystem& fs,
                                          Server& server, Progress& progress);
    // version: the release the update brings the project to, set once its discovery succeeded
    // (left as it was otherwise).
    virtual HRESULT UpdateProject(const std::string& project, FileSystem& fs, Server& server,
                                  Progress& progress, DWORD& version);
    virtual HRESULT Repair(FileSystem& fs, Server& server, Progress& progress);
    virtual HRESULT ValidateProject(const std::string& project, FileSystem& fs, Server& server,
                                    Progress& progress);
    virtual HRESULT UninstallProjectRelease(const std::string& project, DWORD version, FileSystem& fs,
                                            Progress& progress);
    // Discovery then execution; settled: the release the discovery settled on.
    virtual HRESULT InstallSolutionRelease(const std::string& solution, DWORD version,
                                           const std::string& configuration, FileSystem& fs, Server& server,
                                           Progress& progress, DWORD& settled);
    // Discovery only (fills the progress totals); nothing is downloaded or written.
    virtual HRESULT DiscoverSolutionRelease(const std::string& solution, DWORD version,
                                            const std::string& configuration, FileSystem& fs, Server& server,
                                            Progress& progress, SolutionDiscovery& discovery);
    virtual HRESULT UpdateSolution(const std::string& solution, const std::string& configuration,
                                   FileSystem& fs, Server& server, Progress& progress, DWORD& version);
    virtual HRESULT ValidateSolution(const std::string& solution, FileSystem& fs, Server& server,
                                     Progress& progress);
    virtual HRESULT UninstallSolutionRelease(const std::string& solution, DWORD version, FileSystem& fs,
                                             Progress& progress);
    virtual HRESULT CreateProcess(const std::string& name, DWORD version, const std::string& executable,
                                  const std::string& arguments, FileSystem& fs, DWORD& processId,
                                  DWORD& threadId);

    virtual HRESULT SetLogParameters(UINT level);
    virtual HRESULT LockFile(const std::string& project, DWORD version, const std::string& path,
                             Quor::Common::ReleaseManifestCache& cache, std::string& file, DWORD& offset,
                             DWORD& size, DWORD& handle);
    virtual HRESULT UnlockFile(DWORD handle);
};

}  // namespace Quor::Orvane
