#include "update/DoValidation.h"

#include <memory>
#include <set>

#include "archive/ManagedFileHelper.h"
#include "common/AutoUpdateProgressHelper.h"
#include "common/ConvertVersion.h"
#include "common/EntryPlacement.h"
#include "common/FileSysHelper.h"
#include "common/LocalDirectoryStructure.h"
#include "common/LocalRootFolder.h"
#include "common/Log.h"
#include "install/DownloadFilesStep.h"
#include "install/InstallSteps.h"
#include "install/InstalledState.h"
#include "remote/ReleaseManifestPaths.h"
#include "update/ValidateSolutionRelease.h"
#include "update/ValidationChecks.h"

namespace Quor::User::Validation {
namespace {

using Common::ReleaseManifest;
using ENTRY = Common::ReleaseManifest::ENTRY;

HRESULT DoProjectValidation(const std::string& project, Common::LocalFileSystem& fileSystem,
                            IRemoteFileServer& server, AutoUpdateProgress& progress) {
    std::vector<ReleaseManifest*> loaded;
    HRESULT hr = LoadManifestsForInstalledReleases(project, fileSystem, progress, loaded, true);
    std::vector<std::unique_ptr<ReleaseManifest>> manifests(loaded.begin(), loaded.end());
    // The folders the manifests were read from, in the same (ascending) order.
    std::vector<DWORD> folders;
    if (SUCCEEDED(hr)) hr = EnumerateInstalledProjectReleases(project, fileSystem, folders, true);
    if (SUCCEEDED(hr) && folders.size() != manifests.size()) hr = E_FAIL;  // the tree changed meanwhile
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Setup step failed");
        return hr;
    }
    for (size_t i = 0; i < manifests.size(); ++i) {
        if (CancelRequested(progress)) return E_ABORT;
        std::string okPath;
        hr = Common::LocalDirectoryStructure::GetProjectReleaseOkPath(project, folders[i], okPath);
        if (FAILED(hr)) return hr;
        // A folder left between the move of an in-place update and the fetch of its own manifest
        // still holds its source's manifest: validating it against that would mark the wrong
        // files complete under this folder's version.
        if (!DescribesRelease(*manifests[i], project, folders[i])) {
            if (Common::LocalFileSystem::DoesFileOrDirectoryExist(okPath)) {
                QUOR_LOG(Log::ERROR, "Setup step failed");
                return E_FAIL;
            }
            continue;
        }
        hr = ValidateProjectRelease(project, *manifests[i], fileSystem, server, progress);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT DoSolutionValidation(const std::string& solution, Common::LocalFileSystem& fileSystem,
                             IRemoteFileServer& server, AutoUpdateProgress& progress) {
    std::vector<DWORD> folders, complete;
    HRESULT hr = EnumerateInstalledSolutionReleases(solution, fileSystem, folders, true);
    if (SUCCEEDED(hr)) hr = EnumerateInstalledSolutionReleases(solution, fileSystem, complete, false);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Setup step failed");
        return hr;
    }
    const std::set<DWORD> completeSet(complete.begin(), complete.end());
    SolutionWalk walk;
    for (const DWORD version : folders) {
        if (CancelRequested(progress)) return E_ABORT;
        hr = ValidateSolutionRelease(solution, version, completeSet.count(version) != 0, fileSystem, server, progress,
                                     walk);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

}  // namespace

HRESULT DoValidation(const Tree tree, const std::string& name, Common::LocalFileSystem& fileSystem,
                     IRemoteFileServer& server, AutoUpdateProgress& progress) {
    QUOR_LOG(Log::DEBUG, "(%s)", name.c_str());
    return tree == Tree::kProjects ? DoProjectValidation(name, fileSystem, server, progress)
                                   : DoSolutionValidation(name, fileSystem, server, progress);
}

HRESULT CalculateWorkStep(const std::string& project, const ReleaseManifest& manifest,
                          Common::LocalFileSystem& fileSystem, AutoUpdateProgress& progress,
                          std::vector<FileToDownload>& downloads) {
    QUOR_LOG(Log::DEBUG, "%s", project.c_str());
    QUOR_LOG(Log::DEBUG, "Starting validation for release %s!",
             Common::ConvertVersion::ToString(manifest.m_ReleaseVersion).c_str());
    const std::string root = Common::LocalRootFolder::Get();
    int64_t toRead = 0;
    for (const ENTRY& entry : manifest.m_Entries)
        if (Common::PlaceOf(entry) != Common::EntryPlace::kArchived) toRead += entry.size;
    progress.DeltaBytesTotal(WORK_TYPE_DISK_ACCESS, toRead);

    // Where each entry's copy lies, and the files hashed ahead on pool threads.
    std::vector<std::string> paths(manifest.m_Entries.size()), ahead(manifest.m_Entries.size());
    for (size_t i = 0; i < paths.size(); ++i) {
        Common::GetLocalFilePath(paths[i], project, manifest.m_ReleaseVersion, manifest.m_Entries[i]);
        paths[i] = root + paths[i];
        ahead[i] = PathToHashAhead(paths[i], manifest.m_Entries[i]);
    }
    DigestAhead digests(std::move(ahead), progress.GetCancelFlag());

    for (size_t i = 0; i < paths.size(); ++i) {
        const ENTRY& entry = manifest.m_Entries[i];
        const std::string& path = paths[i];
        if (CancelRequested(progress)) return E_ABORT;
        AutoUpdateProgressHelper::SetStringDataToFilenameFromPath(progress, entry.name);
        progress.Tick(0);

        bool good = false;
        const bool archived = Common::PlaceOf(entry) == Common::EntryPlace::kArchived;
        if (archived) {
            good = ManagedFileHelper::DoesFileOrDirectoryExist(project, entry.version, entry.name);
            if (good)
                QUOR_LOG(Log::VERBOSE, "File \"%s\" is present in an archive.", path.c_str());
            else
                QUOR_LOG(Log::ERROR,
                         "Failed to find managed file \"%s\" which should be part of a previously installed release.  "
                         "File will be replaced.",
                         path.c_str());
        } else {
            AutoUpdateProgress::AutoTimer timer(progress, WORK_TYPE_DISK_ACCESS);
            good = IsGoodCopy(path, entry, digests, i, fileSystem, progress);
            timer.DeltaBytesCompleted(entry.size);
            if (!good) QUOR_LOG(Log::WARNING, "File \"%s\" MD5 check FAILED!", path.c_str());
        }
        if (good) continue;

        QUOR_LOG(Log::VERBOSE, "File failed verification. Adding to download list.");
        // The download step places files into existing folders only (archived ones go to their archive).
        if (!archived) {
            const std::string folder = path.substr(0, path.rfind('/'));
            const HRESULT hr = Common::FileSysHelper::CreateDirectoryAndIntermediatePaths(folder.c_str());
            if (FAILED(hr)) {
                QUOR_LOG(Log::ERROR, "Failed to prepare path \"%s\".", folder.c_str());
                return hr;
            }
        }
        downloads.push_back({&entry, path});
        UpdateAndInstallShared::AddDownloadBytesToTotal(progress, entry);
    }
    return S_OK;
}

HRESULT ValidateProjectRelease(const std::string& project, const ReleaseManifest& manifest,
                               Common::LocalFileSystem& fileSystem, IRemoteFileServer& server,
                               AutoUpdateProgress& progress) {
    std::vector<FileToDownload> downloads;
    HRESULT hr = CalculateWorkStep(project, manifest, fileSystem, progress, downloads);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to calculate required work");
        return hr;
    }
    hr = UpdateAndInstallShared::DownloadFilesStep(downloads, manifest, server, fileSystem, progress);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Download files step failed");
        return hr;
    }
    std::string okPath;
    hr = Common::LocalDirectoryStructure::GetProjectReleaseOkPath(project, manifest.m_ReleaseVersion, okPath);
    if (SUCCEEDED(hr)) hr = MarkComplete(okPath);
    if (FAILED(hr)) return hr;
    QUOR_LOG(Log::DEBUG, "Succeeded");
    return S_OK;
}

}  // namespace Quor::User::Validation
