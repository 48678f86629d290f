#pragma once
// The installed state: which projects and solutions have a folder under {root}, which of their
// releases are installed, the skeleton folders of a project or solution, and the manifests of a
// project's installed releases. Nothing but the folder tree is read:
//     {root}/projects/{project}/releases/{a.b.c.d}/S_OK   a complete (valid) release
//     {root}/solutions/{solution}/releases/{a.b.c.d}/S_OK
// A release folder counts only when its name is the canonical text of its version (the text
// paths are built from); "S_OK" may be a file or a folder.
//
// Results are appended to the caller's lists (never emptied first, except that the list form of
// LoadManifestsForInstalledReleases empties its list on failure). {root} is taken once per call
// and the working folder is restored on every way out; the listings use the process's working
// folder while they run, so they must not run at the same time as each other or as other code
// that relies on it. Names are checked as folder names (LocalDirectoryStructure): one that could
// leave its folder is refused with E_INVALIDARG.
#include <string>
#include <vector>

#include "common/AutoUpdateProgress.h"
#include "common/LocalFileSystem.h"
#include "common/ReleaseManifest.h"
#include "common/ReleaseManifestCache.h"
#include "foundation/Types.h"

namespace Quor::User {

HRESULT EnumerateInstalledProjects(Common::LocalFileSystem& fileSystem, std::vector<std::string>& projects);
HRESULT EnumerateInstalledSolutions(Common::LocalFileSystem& fileSystem, std::vector<std::string>& solutions);

// Appends the installed releases (with includeInvalid also those without "S_OK") and sorts the
// whole list ascending. A missing releases folder is created.
HRESULT EnumerateInstalledProjectReleases(const std::string& project, Common::LocalFileSystem& fileSystem,
                                          std::vector<DWORD>& releases, bool includeInvalid);
HRESULT EnumerateInstalledSolutionReleases(const std::string& solution, Common::LocalFileSystem& fileSystem,
                                           std::vector<DWORD>& releases, bool includeInvalid);

// Creates the skeleton folders when the project (solution) has no folder yet.
HRESULT EnsureProjectInstalled(const std::string& project, Common::LocalFileSystem& fileSystem);
HRESULT EnsureSolutionInstalled(const std::string& solution, Common::LocalFileSystem& fileSystem);

// projects/{project}, its releases and managedfiles folders; solutions/{solution} and its releases.
HRESULT InstallProject(const std::string& project, Common::LocalFileSystem& fileSystem);
HRESULT InstallSolution(const std::string& solution, Common::LocalFileSystem& fileSystem);

// Loads the manifest of every installed release, ascending, into new objects the caller owns and
// deletes. The first manifest that does not load fails the whole call and empties the list;
// E_ABORT when the progress's cancellation flag is set.
HRESULT LoadManifestsForInstalledReleases(const std::string& project, Common::LocalFileSystem& fileSystem,
                                          AutoUpdateProgress& progress,
                                          std::vector<Common::ReleaseManifest*>& manifests, bool includeInvalid);
// The same into a cache; a release whose manifest does not load is logged and skipped.
HRESULT LoadManifestsForInstalledReleases(const std::string& project, Common::LocalFileSystem& fileSystem,
                                          AutoUpdateProgress& progress, Common::ReleaseManifestCache& cache,
                                          bool includeInvalid);

// Registers EnumerateInstalledProjectReleases with the remote-content layer (which asks it for
// patch sources); called once at start-up.
void RegisterInstalledStateServices();

}  // namespace Quor::User
