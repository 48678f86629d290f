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
#include "install/DeployFolderFinish.h"
#include "install/DownloadFilesStep.h"
#include "install/InstallSteps.h"
#include "install/InstalledState.h"
#include "install/PreviousManifest.h"
#include "install/ReleasePlan.h"
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

// A copy this release keeps in its own stored form (rewritten so by the check, or fetched again)
// cannot serve a complete release that keeps it in another. A complete release is validated all
// the same, and the others lose their "S_OK" before the copy changes; an incomplete one is left
// as it is (`skip`), so that a sound release never loses its mark to complete it.
HRESULT SettleReleasesOfOtherForms(const std::string& project, const ReleaseManifest& manifest,
                                   const std::string& okPath, Common::LocalFileSystem& fileSystem,
                                   AutoUpdateProgress& progress, bool& skip) {
    skip = false;
    std::vector<ReleaseManifest*> loaded;
    HRESULT hr = LoadManifestsForInstalledReleases(project, fileSystem, progress, loaded, false);
    const std::vector<std::unique_ptr<ReleaseManifest>> complete(loaded.begin(), loaded.end());
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to load the manifests of the complete releases.");
        return hr;
    }
    std::vector<const ReleaseManifest*> others;
    for (const auto& other : complete) others.push_back(other.get());
    std::vector<DWORD> displaced;
    ReleasePlan::NoteReleasesDisplacedBy(manifest, others, displaced);
    if (displaced.empty()) return S_OK;
    if (!Common::LocalFileSystem::DoesFileOrDirectoryExist(okPath)) {
        QUOR_LOG(Log::WARNING, "Release %s stays incomplete: complete release %s keeps its copies in another form.",
                 Common::ConvertVersion::ToString(manifest.m_ReleaseVersion).c_str(),
                 Common::ConvertVersion::ToString(displaced.front()).c_str());
        skip = true;
        return S_OK;
    }
    return ReleasePlan::WithdrawDisplaced(project, displaced);
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
                          std::vector<FileToDownload>& downloads,
                          std::vector<FileToDeleteFromArchive>& toDeleteFromArchive) {
    QUOR_LOG(Log::DEBUG, "%s", project.c_str());
    QUOR_LOG(Log::DEBUG, "Starting validation for release %s!",
             Common::ConvertVersion::ToString(manifest.m_ReleaseVersion).c_str());
    int64_t toRead = 0;
    for (const ENTRY& entry : manifest.m_Entries)
        if (Common::PlaceOf(entry) != Common::EntryPlace::kArchived) toRead += entry.size;
    progress.DeltaBytesTotal(WORK_TYPE_DISK_ACCESS, toRead);

    // The files hashed ahead on pool threads.
    std::vector<std::string> ahead(manifest.m_Entries.size());
    for (size_t i = 0; i < ahead.size(); ++i)
        ahead[i] = PathToHashAhead(ReleasePlan::EntryLocalPath(project, manifest.m_ReleaseVersion, manifest.m_Entries[i]),
                                   manifest.m_Entries[i]);
    DigestAhead digests(std::move(ahead), progress.GetCancelFlag());
    const auto check = [&](const size_t item, const ENTRY& entry, const std::string& path) {
        AutoUpdateProgress::AutoTimer timer(progress, WORK_TYPE_DISK_ACCESS);
        const bool good = IsGoodCopy(path, entry, digests, item, fileSystem, progress);
        timer.DeltaBytesCompleted(entry.size);
        return good;
    };

    // Nothing is taken from other releases: a bad or missing copy is fetched again.
    const std::vector<const ReleaseManifest*> none;
    std::vector<FileToPatch> toPatch;
    std::vector<FileToCopy> toCopy;
    std::vector<FileToArchive> toArchive;
    std::vector<DWORD> displaced;
    return ReleasePlan::Calculate(project, manifest.m_ReleaseVersion, manifest, {none}, ReleasePlan::kValidate,
                                  {downloads, toPatch, toCopy, toArchive, toDeleteFromArchive, displaced}, fileSystem,
                                  progress, check);
}

HRESULT ValidateProjectRelease(const std::string& project, const ReleaseManifest& manifest,
                               Common::LocalFileSystem& fileSystem, IRemoteFileServer& server,
                               AutoUpdateProgress& progress) {
    std::string okPath;
    HRESULT hr = Common::LocalDirectoryStructure::GetProjectReleaseOkPath(project, manifest.m_ReleaseVersion, okPath);
    if (FAILED(hr)) return hr;
    // A complete release's stale files went before its "S_OK": a record left beside it names none.
    if (Common::LocalFileSystem::DoesFileOrDirectoryExist(okPath))
        PreviousManifest::ForgetOnceComplete(project, manifest.m_ReleaseVersion);
    bool skip = false;
    hr = SettleReleasesOfOtherForms(project, manifest, okPath, fileSystem, progress, skip);
    if (FAILED(hr) || skip) return hr;
    std::vector<FileToDownload> downloads;
    std::vector<FileToDeleteFromArchive> toDeleteFromArchive;
    hr = CalculateWorkStep(project, manifest, fileSystem, progress, downloads, toDeleteFromArchive);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to calculate required work");
        return hr;
    }
    // A bad archived copy leaves its archive before its good one is fetched into it.
    hr = UpdateAndInstallShared::DeleteFilesFromArchivesStep(toDeleteFromArchive, project, progress);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Delete files from archives step failed");
        return hr;
    }
    hr = UpdateAndInstallShared::DownloadFilesStep(downloads, manifest, server, fileSystem, progress);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Download files step failed");
        return hr;
    }
    // A folder left without "S_OK" may still hold files of the release it was moved from.
    hr = UpdateAndInstallShared::RemoveStaleDeployFiles(project, manifest.m_ReleaseVersion, manifest, fileSystem,
                                                        progress);
    if (FAILED(hr)) return hr;
    hr = MarkComplete(okPath);
    if (FAILED(hr)) return hr;
    PreviousManifest::ForgetOnceComplete(project, manifest.m_ReleaseVersion);
    QUOR_LOG(Log::DEBUG, "Succeeded");
    return S_OK;
}

}  // namespace Quor::User::Validation
