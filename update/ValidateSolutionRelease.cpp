#include "update/ValidateSolutionRelease.h"

#include <memory>
#include <vector>

#include "common/AutoUpdateProgressHelper.h"
#include "common/ConvertVersion.h"
#include "common/LocalDirectoryStructure.h"
#include "common/Log.h"
#include "install/DeployFolderFinish.h"
#include "install/InstalledSolutionInfo.h"
#include "install/PreviousManifest.h"
#include "install/UpdateAndInstallShared.h"
#include "install/UpdateAndInstallSolutionShared.h"
#include "update/DoValidation.h"
#include "update/ValidationChecks.h"

namespace Quor::User::Validation {
namespace {

using Common::ReleaseManifest;
using PROJECT = Common::SolutionManifest::PROJECT;
using UpdateAndInstallSolutionShared::UNMANAGED_FILE;

// Reads the release's solution information and the manifest of every project release it names.
HRESULT ReadManifests(const std::string& solution, DWORD version, SolutionWalk& walk,
                      std::unique_ptr<InstalledSolutionInfo>& info) {
    HRESULT hr = LoadInstalledSolutionInfo(solution, version, info);
    if (SUCCEEDED(hr) && !DescribesRelease(*info->m_SolutionManifest, solution, version)) hr = E_FAIL;
    for (size_t i = 0; SUCCEEDED(hr) && i < info->m_Projects.size(); ++i) {
        const PROJECT& project = info->m_Projects[i];
        const ReleaseManifest* manifest = nullptr;
        hr = walk.m_Manifests.Get(project.name, project.version, manifest);
        if (SUCCEEDED(hr) && !DescribesRelease(*manifest, project.name, project.version)) hr = E_FAIL;
    }
    return hr;
}

// The deploy files that are missing or do not match their supplying project's entry.
HRESULT CheckDeployFiles(const std::string& deploy, const std::vector<UNMANAGED_FILE>& files,
                         const std::vector<PROJECT>& projects, SolutionWalk& walk, Common::LocalFileSystem& fileSystem,
                         AutoUpdateProgress& progress, std::vector<UNMANAGED_FILE>& failed) {
    std::vector<const ReleaseManifest::ENTRY*> entries(files.size(), nullptr);
    int64_t toRead = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        const ReleaseManifest* manifest = nullptr;
        if (files[i].projectIndex < projects.size()) {
            const PROJECT& project = projects[files[i].projectIndex];
            if (SUCCEEDED(walk.m_Manifests.Get(project.name, project.version, manifest)))
                entries[i] = UpdateAndInstallShared::FindManifestEntry(*manifest, files[i].name);
        }
        if (entries[i]) toRead += entries[i]->size;
    }
    progress.DeltaBytesTotal(WORK_TYPE_DISK_ACCESS, toRead);
    std::vector<std::string> ahead(files.size());
    for (size_t i = 0; i < files.size(); ++i)
        if (entries[i]) ahead[i] = PathToHashAhead(deploy + "/" + files[i].name, *entries[i]);
    DigestAhead digests(std::move(ahead), progress.GetCancelFlag());

    for (size_t i = 0; i < files.size(); ++i) {
        if (CancelRequested(progress)) return E_ABORT;
        AutoUpdateProgressHelper::SetStringDataToFilenameFromPath(progress, files[i].name);
        progress.Tick(0);
        const std::string path = deploy + "/" + files[i].name;
        bool good = false;
        if (entries[i]) {
            AutoUpdateProgress::AutoTimer timer(progress, WORK_TYPE_DISK_ACCESS);
            good = IsGoodCopy(path, *entries[i], digests, i, fileSystem, progress);
            timer.DeltaBytesCompleted(entries[i]->size);
        }
        if (good) continue;
        QUOR_LOG(Log::WARNING, "File \"%s\" MD5 check FAILED!", path.c_str());
        QUOR_LOG(Log::VERBOSE, "File failed verification. Adding to copy list.");
        failed.push_back(files[i]);
    }
    return S_OK;
}

}  // namespace

HRESULT ValidateSolutionRelease(const std::string& solution, const DWORD version, const bool complete,
                                Common::LocalFileSystem& fileSystem, IRemoteFileServer& server,
                                AutoUpdateProgress& progress, SolutionWalk& walk) {
    const std::string text = Common::ConvertVersion::ToString(version);
    QUOR_LOG(Log::DEBUG, "Starting validation for solution release %s!", text.c_str());
    std::unique_ptr<InstalledSolutionInfo> info;
    std::string releasePath;
    HRESULT hr = Common::LocalDirectoryStructure::GetSolutionReleasePath(solution, version, releasePath);
    if (FAILED(hr)) return hr;
    // A complete release's stale files went before its "S_OK": a record left beside it names none.
    if (complete) PreviousManifest::ForgetOnceCompleteFolder(releasePath);
    hr = ReadManifests(solution, version, walk, info);
    if (FAILED(hr)) {
        if (complete) {
            QUOR_LOG(Log::ERROR, "Failed to read the manifests of solution release %s", text.c_str());
            return hr;
        }
        QUOR_LOG(Log::WARNING, "The manifests of incomplete solution release %s cannot be read; it stays incomplete",
                 text.c_str());
        return S_OK;
    }

    for (const PROJECT& project : info->m_Projects) {
        if (walk.m_ValidatedProjects.insert({project.name, project.version}).second) {
            if (CancelRequested(progress)) return E_ABORT;
            const ReleaseManifest* manifest = nullptr;
            hr = walk.m_Manifests.Get(project.name, project.version, manifest);
            if (SUCCEEDED(hr)) hr = ValidateProjectRelease(project.name, *manifest, fileSystem, server, progress);
            if (FAILED(hr)) return hr;
        }
        // A project release that the validation left incomplete (its copies are another complete
        // release's) leaves the solution release incomplete too.
        std::string projectOk;
        hr = Common::LocalDirectoryStructure::GetProjectReleaseOkPath(project.name, project.version, projectOk);
        if (FAILED(hr)) return hr;
        if (!Common::LocalFileSystem::DoesFileOrDirectoryExist(projectOk)) {
            QUOR_LOG(Log::WARNING, "Solution release %s stays incomplete: project %s %s is not complete.", text.c_str(),
                     project.name.c_str(), Common::ConvertVersion::ToString(project.version).c_str());
            std::string solutionOk;
            hr = Common::LocalDirectoryStructure::GetSolutionReleaseOkPath(solution, version, solutionOk);
            if (SUCCEEDED(hr) && complete) hr = Common::LocalFileSystem::DeleteFile(solutionOk);
            if (FAILED(hr)) QUOR_LOG(Log::ERROR, "Failed to delete the S_OK of solution release %s", text.c_str());
            return hr;
        }
    }

    std::vector<PROJECT> projects = info->m_Projects;  // GatherFiles orders them by priority
    std::vector<UNMANAGED_FILE> files, failed;
    hr = UpdateAndInstallSolutionShared::GatherFiles(projects, walk.m_Manifests, files, progress);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to gather files");
        return hr;
    }
    std::string deploy, okPath;
    hr = Common::LocalDirectoryStructure::GetSolutionDeployPath(solution, version, deploy);
    if (SUCCEEDED(hr)) hr = Common::LocalDirectoryStructure::GetSolutionReleaseOkPath(solution, version, okPath);
    if (FAILED(hr)) return hr;
    hr = CheckDeployFiles(deploy, files, projects, walk, fileSystem, progress, failed);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to calculate required work");
        return hr;
    }
    hr = UpdateAndInstallSolutionShared::CopyUnmanagedFiles(failed, projects, solution, version, fileSystem, progress);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to copy unmanaged files");
        return hr;
    }
    hr = UpdateAndInstallShared::RemoveStaleSolutionDeployFiles(solution, version, files, fileSystem, progress);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to remove the files the release does not list");
        return hr;
    }
    hr = MarkComplete(okPath);
    if (FAILED(hr)) return hr;
    PreviousManifest::ForgetOnceCompleteFolder(releasePath);
    QUOR_LOG(Log::DEBUG, "Succeeded");
    return S_OK;
}

}  // namespace Quor::User::Validation
