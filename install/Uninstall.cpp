#include "install/Uninstall.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "archive/ManagedFileHelper.h"
#include "common/ConvertVersion.h"
#include "common/EntryPlacement.h"
#include "common/LocalDirectoryStructure.h"
#include "common/LocalRootFolder.h"
#include "common/Log.h"
#include "common/ReleaseManifest.h"
#include "install/CopyHolders.h"
#include "install/InstalledSolutionInfo.h"
#include "install/InstalledState.h"
#include "install/SolutionWithdrawal.h"
#include "remote/LocalFileSystemHelper.h"

namespace Quor::User {
namespace {

using Common::ReleaseManifest;
using ManifestList = std::vector<std::unique_ptr<ReleaseManifest>>;

// Logs under the caller's tag and answers true when the job's owner asked to stop.
bool CancelRequested(const char* tag, AutoUpdateProgress& progress) {
    if (!Common::IsCancelRequested(progress.GetCancelFlag())) return false;
    QUOR_LOG_TAG(Log::ERROR, tag, "Cancellation request detected, aborting");
    return true;
}

// True when another release would use the copy of entry (the rule by which installs reuse it).
bool IsFileNeededByOtherRelease(const ReleaseManifest::ENTRY& entry, const ManifestList& others) {
    return IsCopyUsedByAny(others, entry);
}

// Deletes the release's "S_OK" when it is there.
HRESULT DeleteOkFile(const std::string& okPath) {
    if (!Common::LocalFileSystem::DoesFileOrDirectoryExist(okPath)) {
        QUOR_LOG(Log::DEBUG, "Did not find %s", okPath.c_str());
        return S_OK;
    }
    QUOR_LOG(Log::DEBUG, "Deleting %s", okPath.c_str());
    const HRESULT hr = Common::LocalFileSystem::DeleteFile(okPath);
    if (FAILED(hr)) QUOR_LOG(Log::ERROR, "Failed to delete S_OK file");
    return hr;
}

// Removes the managed and archived files of the release that no other release needs.
HRESULT DeleteUnneededFiles(const std::string& project, const ReleaseManifest& release, const ManifestList& others,
                            const std::string& projectPath, AutoUpdateProgress& progress) {
    for (const ReleaseManifest::ENTRY& entry : release.m_Entries) {
        if (CancelRequested(__PRETTY_FUNCTION__, progress)) return E_ABORT;
        const Common::EntryPlace place = Common::PlaceOf(entry);
        if (place == Common::EntryPlace::kDeploy) continue;
        if (IsFileNeededByOtherRelease(entry, others)) {
            QUOR_LOG(Log::VERBOSE, "Managed file \"%s\":0x%08lx is needed by another release and will not be deleted.",
                     entry.name.c_str(), static_cast<unsigned long>(entry.version));
            continue;
        }
        if (place == Common::EntryPlace::kManaged) {
            const std::string path =
                projectPath + "/managedfiles/" + Common::ConvertVersion::ToString(entry.version) + "/" + entry.name;
            if (!Common::LocalFileSystem::DoesFileOrDirectoryExist(path)) {
                QUOR_LOG(Log::ERROR, "File \"%s\" was already deleted.", path.c_str());
                continue;
            }
            const HRESULT hr = Common::LocalFileSystem::DeleteFile(path);
            if (FAILED(hr)) {
                QUOR_LOG(Log::ERROR, "Failed to delete unneeded managed file \"%s\".", path.c_str());
                return hr;
            }
            QUOR_LOG(Log::DEBUG, "Deleted unneeded managed file \"%s\".", path.c_str());
        } else {
            const HRESULT hr = ManagedFileHelper::RemoveFile(project, entry.version, entry.name);
            if (FAILED(hr)) {
                QUOR_LOG(Log::ERROR, "Failed to delete unneeded managed file  \"%s\":0x%08lx:\"%s\".", project.c_str(),
                         static_cast<unsigned long>(entry.version), entry.name.c_str());
                return hr;
            }
            QUOR_LOG(Log::DEBUG, "Deleted unneeded archived file \"%s\".", entry.name.c_str());
        }
    }
    return S_OK;
}

// The removal itself, for a release that no complete solution release needs (or whose solution
// release goes with it).
HRESULT RemoveProjectRelease(const std::string& project, const DWORD version, Common::LocalFileSystem& fileSystem,
                             AutoUpdateProgress& progress) {
    if (CancelRequested(__PRETTY_FUNCTION__, progress)) return E_ABORT;
    std::string projectPath, releasePath, okPath;
    HRESULT hr = Common::LocalDirectoryStructure::GetProjectPath(project, projectPath);
    if (SUCCEEDED(hr)) hr = Common::LocalDirectoryStructure::GetProjectReleasePath(project, version, releasePath);
    if (SUCCEEDED(hr)) hr = Common::LocalDirectoryStructure::GetProjectReleaseOkPath(project, version, okPath);
    if (FAILED(hr)) return hr;

    ManifestList others;
    {
        std::vector<ReleaseManifest*> loaded;
        hr = LoadManifestsForInstalledReleases(project, fileSystem, progress, loaded, false);
        for (ReleaseManifest* manifest : loaded) others.emplace_back(manifest);
    }
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to load manifests for installed releases.");
        return hr;
    }
    hr = DeleteOkFile(okPath);
    if (FAILED(hr)) return hr;

    const auto found = std::find_if(others.begin(), others.end(), [&](const auto& manifest) {
        return manifest && manifest->m_ReleaseVersion == version;
    });
    if (found == others.end()) {
        QUOR_LOG(Log::ERROR, "Release is not installed.");
        return E_FAIL;
    }
    const std::unique_ptr<ReleaseManifest> release = std::move(*found);
    others.erase(found);

    hr = DeleteUnneededFiles(project, *release, others, projectPath, progress);
    if (FAILED(hr)) return hr;
    hr = Common::LocalFileSystemHelper::DeleteDirectoryTree(releasePath, fileSystem);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to delete project directory tree.");
        return hr;
    }
    hr = ManagedFileHelper::Flush(0);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to write files to archives.");
        return hr;
    }
    QUOR_LOG(Log::DEBUG, "Succeeded.");
    return S_OK;
}

}  // namespace

HRESULT UninstallProjectRelease(const std::string& project, const DWORD version, Common::LocalFileSystem& fileSystem,
                                AutoUpdateProgress& progress) {
    QUOR_LOG(Log::DEBUG, "(%s, 0x%08lx)", project.c_str(), static_cast<unsigned long>(version));
    if (CancelRequested(__PRETTY_FUNCTION__, progress)) return E_ABORT;
    // A complete solution release stands over its project releases: this one goes with it.
    std::string solution;
    DWORD solutionVersion = 0;
    bool readable = true;
    if (FindSolutionUsingProjectRelease({project, version}, fileSystem, solution, solutionVersion, readable)) {
        QUOR_LOG(Log::ERROR,
                 "Release %s of project %s is part of the installed release %s of solution %s: uninstall that "
                 "solution release instead.",
                 Common::ConvertVersion::ToString(version).c_str(), project.c_str(),
                 Common::ConvertVersion::ToString(solutionVersion).c_str(), solution.c_str());
        return E_FAIL;
    }
    if (!readable) {
        QUOR_LOG(Log::ERROR,
                 "Release %s of project %s is kept: the installed solutions, which may need it, cannot be read.",
                 Common::ConvertVersion::ToString(version).c_str(), project.c_str());
        return E_FAIL;
    }
    return RemoveProjectRelease(project, version, fileSystem, progress);
}

HRESULT UninstallSolutionRelease(const std::string& solution, const DWORD version,
                                 Common::LocalFileSystem& fileSystem, AutoUpdateProgress& progress) {
    QUOR_LOG(Log::DEBUG, "(%s, 0x%08lx)", solution.c_str(), static_cast<unsigned long>(version));
    std::string releasePath, okPath;
    HRESULT hr = Common::LocalDirectoryStructure::GetSolutionReleasePath(solution, version, releasePath);
    if (SUCCEEDED(hr)) hr = Common::LocalDirectoryStructure::GetSolutionReleaseOkPath(solution, version, okPath);
    if (FAILED(hr)) return hr;

    InstalledSolutionInfoList infos;
    hr = LoadInstalledSolutionInfo(solution, fileSystem, infos);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to get information about installed solutions");
        return hr;
    }
    std::unique_ptr<InstalledSolutionInfo> target;
    RemoveInstalledSolutionInfo(solution, version, infos, target);
    if (!target) {
        QUOR_LOG(Log::ERROR, "Failed to find and separate the solution information for target");
        return E_FAIL;
    }
    // A project release stays while any other solution's release uses it, not only this solution's.
    const bool othersKnown = LoadOtherSolutions(solution, fileSystem, infos);

    hr = DeleteOkFile(okPath);
    if (FAILED(hr)) return hr;

    for (const auto& project : target->m_Projects) {
        if (!othersKnown || IsProjectReleaseUsedBySolutions(project, infos)) {
            QUOR_LOG(Log::VERBOSE, "Cannot uninstalled project %s version %d because it still needed",
                     project.name.c_str(), static_cast<int>(project.version));
            continue;
        }
        hr = RemoveProjectRelease(project.name, project.version, fileSystem, progress);
        if (FAILED(hr)) {
            QUOR_LOG(Log::ERROR, "Failed to uninstall project %s version %d", project.name.c_str(),
                     static_cast<int>(project.version));
            return hr;
        }
        QUOR_LOG(Log::VERBOSE, "Uninstalled project %s version %d because it is no longer needed",
                 project.name.c_str(), static_cast<int>(project.version));
    }
    hr = Common::LocalFileSystemHelper::DeleteDirectoryTree(releasePath, fileSystem);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to delete solution directory tree.");
        return hr;
    }
    QUOR_LOG(Log::DEBUG, "Succeeded.");
    return S_OK;
}

}  // namespace Quor::User
