#include "install/InstalledState.h"

#include <algorithm>
#include <memory>

#include "common/ConvertVersion.h"
#include "common/FileSysHelper.h"
#include "common/AutoUpdateProgressHelper.h"
#include "common/LocalDirectoryStructure.h"
#include "common/LocalRootFolder.h"
#include "common/Log.h"
#include "install/WorkingFolderGuard.h"
#include "remote/ReleaseInstallationServices.h"

namespace Quor::User {
namespace {

using Common::ConvertVersion;
using Common::LocalDirectoryStructure;
using Common::LocalFileSystem;

// The two kinds of installed things differ only in folder names and message words.
struct Kind {
    HRESULT (*path)(const std::string&, std::string&);
    const char* folder;          // "/projects"
    const char* changing;        // message before entering the top folder
    Log::TYPE changingLevel;
    const char* changeFailed;
    const char* enumerating;
    Log::TYPE enumeratingLevel;
    const char* enumerateFailed;
    const char* changingToOne;   // "Changing to project \"%s\" folder."
    const char* retrying;
    const char* retryFailed;
};

const Kind kProjects{LocalDirectoryStructure::GetProjectPath,
                     "/projects",
                     "Changing to projects folder.",
                     Log::VERBOSE,
                     "Failed to change to projects folder.",
                     "Enumerating project directories.",
                     Log::VERBOSE,
                     "Failure while enumerating project directories.",
                     "Changing to project \"%s\" folder.",
                     "Failed to change to project folder, creating and retrying",
                     "Failed to change to project folder"};

const Kind kSolutions{LocalDirectoryStructure::GetSolutionPath,
                      "/solutions",
                      "Changing to solutions folder.",
                      Log::DEBUG,
                      "Failed to change to solutions folder.",
                      "Enumerating solution directories.",
                      Log::DEBUG,
                      "Failure while enumerating solution directories.",
                      "Changing to solution \"%s\" folder.",
                      "Failed to change to solution folder, creating and retrying",
                      "Failed to change to solution folder"};

bool IsDotName(const std::string& name) { return name == "." || name == ".."; }

// Folder names of the current folder; E_FAIL when it cannot be listed.
HRESULT ListFolders(std::vector<std::string>& names) {
    std::vector<Vorn::FileSystem::FindFileResult> entries;
    const HRESULT hr = LocalFileSystem::FindFiles(entries, "*");
    if (FAILED(hr)) return hr;
    for (const auto& entry : entries)
        if (entry.isDirectory) names.push_back(entry.name);
    return S_OK;
}

HRESULT EnumerateInstalled(const Kind& kind, const char* tag, std::vector<std::string>& out) {
    const std::string folder = Common::LocalRootFolder::Get() + kind.folder;
    WorkingFolderGuard guard;
    QUOR_LOG_TAG(kind.changingLevel, tag, "%s", kind.changing);
    HRESULT hr = LocalFileSystem::SetCurrentDirectory(folder);
    if (FAILED(hr)) {
        QUOR_LOG_TAG(Log::DEBUG, tag, "%s", kind.changeFailed);
        return hr;
    }
    QUOR_LOG_TAG(kind.enumeratingLevel, tag, "%s", kind.enumerating);
    std::vector<std::string> names;
    hr = ListFolders(names);
    if (FAILED(hr)) {
        QUOR_LOG_TAG(Log::ERROR, tag, "%s", kind.enumerateFailed);
        return hr;
    }
    for (const std::string& name : names)
        if (!IsDotName(name)) out.push_back(name);
    QUOR_LOG_TAG(Log::DEBUG, tag, "Succeeded.");
    return hr;
}

HRESULT EnumerateInstalledReleases(const Kind& kind, const char* tag, const std::string& name,
                                   std::vector<DWORD>& releases, bool includeInvalid) {
    std::string base;
    HRESULT hr = kind.path(name, base);
    if (FAILED(hr)) return hr;
    const std::string folder = base + "/releases/";
    WorkingFolderGuard guard;
    QUOR_LOG_TAG(Log::DEBUG, tag, kind.changingToOne, name.c_str());
    hr = LocalFileSystem::SetCurrentDirectory(folder);
    if (FAILED(hr)) {
        QUOR_LOG_TAG(Log::DEBUG, tag, "%s", kind.retrying);
        LocalFileSystem::CreateDirectory(folder);
        hr = LocalFileSystem::SetCurrentDirectory(folder);
        if (FAILED(hr)) {
            QUOR_LOG_TAG(Log::DEBUG, tag, "%s", kind.retryFailed);
            return hr;
        }
    }
    QUOR_LOG_TAG(Log::DEBUG, tag, "Enumerating release directories.");
    std::vector<std::string> names;
    hr = ListFolders(names);
    if (FAILED(hr)) {
        QUOR_LOG_TAG(Log::ERROR, tag, "Failure while enumerating release directories.");
        return hr;
    }
    std::vector<DWORD> found;
    for (const std::string& entry : names) {
        if (IsDotName(entry)) continue;
        DWORD version = 0;
        // Paths are built from the number, so only the canonical text names a release: a folder
        // such as "1.2.3.4-old" would otherwise stand for a release whose files lie elsewhere.
        if (FAILED(ConvertVersion::ToNumber(entry, version)) || ConvertVersion::ToString(version) != entry) {
            QUOR_LOG_TAG(Log::ERROR, tag, "Found invalid release \"%s\".", entry.c_str());
            continue;
        }
        QUOR_LOG_TAG(Log::DEBUG, tag, "Found candidate \"%s\" (0x%08lx).", entry.c_str(),
                     static_cast<unsigned long>(version));
        if (LocalFileSystem::DoesFileOrDirectoryExist(folder + entry + "/S_OK")) {
            QUOR_LOG_TAG(Log::DEBUG, tag, "Found S_OK, candidate is valid");
            found.push_back(version);
        } else {
            QUOR_LOG_TAG(Log::DEBUG, tag, "Failed to find S_OK, candidate is not valid");
            if (includeInvalid) {
                QUOR_LOG_TAG(Log::DEBUG, tag,
                             "Caller requested invalid releases to be included, candidate returned despite "
                             "S_OK failure");
                found.push_back(version);
            }
        }
    }
    releases.insert(releases.end(), found.begin(), found.end());
    std::sort(releases.begin(), releases.end());
    QUOR_LOG_TAG(Log::DEBUG, tag, "Succeeded.");
    return hr;
}

// Installs name (with install) unless enumerate lists it, compared exactly.
HRESULT EnsureInstalled(const char* tag, const std::string& name, LocalFileSystem& fileSystem,
                        HRESULT (*enumerate)(LocalFileSystem&, std::vector<std::string>&),
                        HRESULT (*install)(const std::string&, LocalFileSystem&), const char* enumerateFailed,
                        const char* installFailed) {
    std::vector<std::string> names;
    HRESULT hr = enumerate(fileSystem, names);
    if (FAILED(hr)) {
        QUOR_LOG_TAG(Log::ERROR, tag, "%s", enumerateFailed);
        return hr;
    }
    if (std::find(names.begin(), names.end(), name) == names.end()) {
        hr = install(name, fileSystem);
        if (FAILED(hr)) {
            QUOR_LOG_TAG(Log::ERROR, tag, "%s", installFailed);
            return hr;
        }
    }
    QUOR_LOG_TAG(Log::VERBOSE, tag, "Succeeded");
    return S_OK;
}

}  // namespace

HRESULT EnumerateInstalledProjects(LocalFileSystem& fileSystem, std::vector<std::string>& projects) {
    (void)fileSystem;
    QUOR_LOG(Log::DEBUG, "()");
    return EnumerateInstalled(kProjects, __PRETTY_FUNCTION__, projects);
}

HRESULT EnumerateInstalledSolutions(LocalFileSystem& fileSystem, std::vector<std::string>& solutions) {
    (void)fileSystem;
    QUOR_LOG(Log::DEBUG, "()");
    return EnumerateInstalled(kSolutions, __PRETTY_FUNCTION__, solutions);
}

HRESULT EnumerateInstalledProjectReleases(const std::string& project, LocalFileSystem& fileSystem,
                                          std::vector<DWORD>& releases, bool includeInvalid) {
    (void)fileSystem;
    QUOR_LOG(Log::DEBUG, "(%s)", project.c_str());
    return EnumerateInstalledReleases(kProjects, __PRETTY_FUNCTION__, project, releases, includeInvalid);
}

HRESULT EnumerateInstalledSolutionReleases(const std::string& solution, LocalFileSystem& fileSystem,
                                           std::vector<DWORD>& releases, bool includeInvalid) {
    (void)fileSystem;
    QUOR_LOG(Log::DEBUG, "(%s)", solution.c_str());
    return EnumerateInstalledReleases(kSolutions, __PRETTY_FUNCTION__, solution, releases, includeInvalid);
}

HRESULT EnsureProjectInstalled(const std::string& project, LocalFileSystem& fileSystem) {
    QUOR_LOG(Log::VERBOSE, "(%s)", project.c_str());
    return EnsureInstalled(__PRETTY_FUNCTION__, project, fileSystem, EnumerateInstalledProjects, InstallProject,
                           "Failed to enumerate installed projects", "Failed to install project");
}

HRESULT EnsureSolutionInstalled(const std::string& solution, LocalFileSystem& fileSystem) {
    QUOR_LOG(Log::VERBOSE, "(%s)", solution.c_str());
    return EnsureInstalled(__PRETTY_FUNCTION__, solution, fileSystem, EnumerateInstalledSolutions, InstallSolution,
                           "Failed to enumerate installed solutions", "Failed to install solution");
}

HRESULT InstallProject(const std::string& project, LocalFileSystem& fileSystem) {
    (void)fileSystem;
    QUOR_LOG(Log::DEBUG, "(%s)", project.c_str());
    std::string base;
    HRESULT hr = LocalDirectoryStructure::GetProjectPath(project, base);
    if (FAILED(hr)) return hr;
    const std::string paths[] = {base, base + "/releases", base + "/managedfiles"};
    QUOR_LOG(Log::DEBUG, "Creating folders for project.");
    for (const std::string& path : paths) {
        if (LocalFileSystem::DoesFileOrDirectoryExist(path)) continue;
        hr = LocalFileSystem::CreateDirectory(path);
        if (FAILED(hr)) break;
    }
    if (FAILED(hr))
        QUOR_LOG(Log::DEBUG, "Failed while creating folders for project.");
    else
        QUOR_LOG(Log::DEBUG, "Succeeded.");
    return hr;
}

HRESULT InstallSolution(const std::string& solution, LocalFileSystem& fileSystem) {
    (void)fileSystem;
    QUOR_LOG(Log::DEBUG, "(%s)", solution.c_str());
    std::string base;
    HRESULT hr = LocalDirectoryStructure::GetSolutionPath(solution, base);
    if (FAILED(hr)) return hr;
    const std::string paths[] = {base, base + "/releases"};
    QUOR_LOG(Log::DEBUG, "Creating folders for solution.");
    for (const std::string& path : paths) {
        hr = Common::FileSysHelper::CreateDirectoryAndIntermediatePaths(path.c_str());
        if (FAILED(hr)) break;
    }
    if (FAILED(hr))
        QUOR_LOG(Log::DEBUG, "Failed while creating folders for solution.");
    else
        QUOR_LOG(Log::DEBUG, "Succeeded.");
    return hr;
}

HRESULT LoadManifestsForInstalledReleases(const std::string& project, LocalFileSystem& fileSystem,
                                          AutoUpdateProgress& progress,
                                          std::vector<Common::ReleaseManifest*>& manifests, bool includeInvalid) {
    QUOR_LOG(Log::DEBUG, "(%s)", project.c_str());
    const signed char* cancel = progress.GetCancelFlag();
    HRESULT hr = S_OK;
    std::vector<DWORD> releases;
    std::string projectPath;
    if (Common::IsCancelRequested(cancel)) {
        QUOR_LOG(Log::ERROR, "Cancellation request detected, aborting");
        hr = E_ABORT;
    } else if (FAILED(hr = EnumerateInstalledProjectReleases(project, fileSystem, releases, includeInvalid))) {
        QUOR_LOG(Log::ERROR, "Failed to enumerate the installed releases.");
    } else {
        hr = LocalDirectoryStructure::GetProjectPath(project, projectPath);
    }
    for (size_t i = 0; SUCCEEDED(hr) && i < releases.size(); ++i) {
        if (Common::IsCancelRequested(cancel)) {
            QUOR_LOG(Log::ERROR, "Cancellation request detected, aborting");
            hr = E_ABORT;
            break;
        }
        const std::string version = ConvertVersion::ToString(releases[i]);
        AutoUpdateProgressHelper::SetStringDataToFilenameFromPath(progress, project + "/releases/" + version +
                                                                                "/releasemanifest");
        progress.Tick(0);
        const std::string path = projectPath + "/releases/" + version + "/releasemanifest";
        auto manifest = std::make_unique<Common::ReleaseManifest>();
        hr = manifest->Load(path, cancel);
        if (FAILED(hr)) {
            QUOR_LOG(Log::ERROR, "Failure to load manifest \"%s\".", path.c_str());
            break;
        }
        manifests.push_back(manifest.release());
    }
    if (FAILED(hr)) {
        for (Common::ReleaseManifest* manifest : manifests) delete manifest;
        manifests.clear();
    }
    return hr;
}

HRESULT LoadManifestsForInstalledReleases(const std::string& project, LocalFileSystem& fileSystem,
                                          AutoUpdateProgress& progress, Common::ReleaseManifestCache& cache,
                                          bool includeInvalid) {
    QUOR_LOG(Log::DEBUG, "(%s)", project.c_str());
    const signed char* cancel = progress.GetCancelFlag();
    if (Common::IsCancelRequested(cancel)) {
        QUOR_LOG(Log::ERROR, "Cancellation request detected, aborting");
        return E_ABORT;
    }
    std::vector<DWORD> releases;
    HRESULT hr = EnumerateInstalledProjectReleases(project, fileSystem, releases, includeInvalid);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to enumerate the installed releases.");
        return hr;
    }
    for (DWORD version : releases) {
        if (Common::IsCancelRequested(cancel)) {
            QUOR_LOG(Log::ERROR, "Cancellation request detected, aborting");
            return E_ABORT;
        }
        const Common::ReleaseManifest* manifest = nullptr;
        if (FAILED(cache.Get(project, version, manifest)))
            QUOR_LOG(Log::WARNING, "Failure to load manifest \"%s\" %d", project.c_str(), static_cast<int>(version));
    }
    return S_OK;
}

void RegisterInstalledStateServices() { SetInstalledProjectReleasesEnumerator(&EnumerateInstalledProjectReleases); }

}  // namespace Quor::User
