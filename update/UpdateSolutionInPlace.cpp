#include "update/UpdateSolutionInPlace.h"

#include <sys/stat.h>

#include <algorithm>

#include "common/ConfigurationManifest.h"
#include "common/ConvertVersion.h"
#include "common/LocalDirectoryStructure.h"
#include "common/Log.h"
#include "common/ManifestFile.h"
#include "common/SolutionManifest.h"
#include "common/SolutionManifestHelper.h"
#include "common/TreePath.h"
#include "foundation/CStd/CStdStrings.h"
#include "install/DeployFolderFinish.h"
#include "install/InstalledState.h"
#include "install/PreviousManifest.h"
#include "install/UpdateAndInstallShared.h"
#include "install/UpdateAndInstallSolutionShared.h"
#include "remote/AutoTemporaryFile.h"
#include "remote/LocalFileSystemHelper.h"

namespace Quor::User::UpdateSolution::UpdateInPlace {
namespace {

using PROJECT = Common::SolutionManifest::PROJECT;
namespace Shared = UpdateAndInstallSolutionShared;
using Shared::UNMANAGED_FILE;

// The file of the same name (without regard to case) in a list sorted by name, or null.
const UNMANAGED_FILE* FindFile(const std::vector<UNMANAGED_FILE>& files, const UNMANAGED_FILE& file) {
    const auto found = std::lower_bound(files.begin(), files.end(), file, UNMANAGED_FILE::PredicateByName);
    return found != files.end() && !UNMANAGED_FILE::PredicateByName(file, *found) ? &*found : nullptr;
}

void InsertSorted(std::vector<UNMANAGED_FILE>& files, const UNMANAGED_FILE& file) {
    files.insert(std::lower_bound(files.begin(), files.end(), file, UNMANAGED_FILE::PredicateByName), file);
}

// Looked at through the tree's walk: a link on the way or at the place is removed, never followed.
bool IsRegularFileOfTree(const std::string& path) {
    std::string leaf;
    const Vorn::UniqueFd parent = Common::TreePath::OpenParent(path, false, leaf);
    struct stat status {};
    return parent.IsValid() && Common::TreePath::StatLeaf(parent.Get(), leaf, path, status) && S_ISREG(status.st_mode);
}

bool IsEntryOfTree(const std::string& path) {
    std::string leaf;
    const Vorn::UniqueFd parent = Common::TreePath::OpenParent(path, false, leaf);
    struct stat status {};
    return parent.IsValid() && Common::TreePath::StatLeaf(parent.Get(), leaf, path, status);
}

HRESULT CreateOkFile(const std::string& solution, DWORD version) {
    std::string okPath;
    const HRESULT hr = Common::LocalDirectoryStructure::GetSolutionReleaseOkPath(solution, version, okPath);
    return SUCCEEDED(hr) ? UpdateAndInstallShared::CreateOkFile(okPath) : hr;
}

}  // namespace

void CacheProjectsManifests(const InstalledSolutionInfo& info, Common::ReleaseManifestCache& cache) {
    QUOR_LOG(Log::DEBUG, "%s", "");
    for (const PROJECT& project : info.m_Projects) {
        const Common::ReleaseManifest* manifest = nullptr;
        if (FAILED(cache.Get(project.name, project.version, manifest)))
            QUOR_LOG(Log::ERROR, "Failed to pre-cache project release manifest %s version %d", project.name.c_str(),
                     static_cast<int>(project.version));
    }
}

Discover::Discover(const InputParameters& inputParameters) : m_InputParameters(&inputParameters) {
    QUOR_LOG(Log::DEBUG, "%s", "");
    m_hr = SetupStep();
    if (FAILED(m_hr)) {
        QUOR_LOG(Log::ERROR, "Setup step failed");
        return;
    }
    m_hr = UpdateInPlaceDiscoveryStep();
    if (FAILED(m_hr)) {
        QUOR_LOG(Log::ERROR, "Failure while trying to update required projects");
        RestoreSource();
        return;
    }
    m_hr = PlaceManifestStep();
}

Discover::~Discover() {
    m_InstallDiscovers.clear();
    m_UpdateDiscovers.clear();
    m_InstallInputParameters.clear();
    m_UpdateInputParameters.clear();
    m_SourceInfo.reset();
    m_DestinationInfo.reset();
    m_OtherReleases.clear();
    m_OtherSolutionsReleases.clear();
    m_FetchedManifest.reset();
}

HRESULT Discover::SetupStep() {
    QUOR_LOG(Log::DEBUG, "%s", "");
    const InputParameters& input = *m_InputParameters;
    const std::string& solution = input.m_SolutionName;

    HRESULT hr = LoadInstalledSolutionInfo(solution, input.m_LocalFileSystem, m_OtherReleases);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to load information about installed solutions");
        return hr;
    }
    m_OtherSolutionsKnown = LoadOtherSolutions(solution, input.m_LocalFileSystem, m_OtherSolutionsReleases);
    RemoveInstalledSolutionInfo(solution, input.m_SourceVersion, m_OtherReleases, m_SourceInfo);
    if (!m_SourceInfo) {
        QUOR_LOG(Log::ERROR, "Failed to separate source installed solution info");
        return E_FAIL;
    }
    // The project updates move the source's project releases away; their manifests stay here for
    // the deploy folder's reconciliation.
    CacheProjectsManifests(*m_SourceInfo, m_ManifestCache);

    // The target's manifest is fetched and checked before the source stops being complete: a
    // refusal leaves the source as it was. It takes its place in the release folder once the
    // project discoveries, which may refuse the update too, went through.
    m_FetchedManifest = std::make_unique<Common::AutoTemporaryFile>(input.m_LocalFileSystem, hr);
    if (FAILED(hr)) return hr;
    const std::string target = Common::ConvertVersion::ToString(input.m_TargetVersion);
    const std::string remotePath = input.m_RemoteFileServer.GetDownloadPath() + "/solutions/" + solution +
                                   "/releases/" + target + "/solutionmanifest";
    const std::string& localPath = m_FetchedManifest->GetPath();
    Common::TransferBound bound(static_cast<int64_t>(Common::kMaxSolutionManifestBytes));
    hr = input.m_RemoteFileServer.GetFile(remotePath, localPath, &bound, false);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failure to download dest manifest.");
        return hr;
    }
    auto destination = std::make_unique<InstalledSolutionInfo>();
    destination->m_SolutionManifest = std::make_unique<Common::SolutionManifest>();
    hr = destination->m_SolutionManifest->Load(localPath);
    // The deploy folder's reconciliation writes where the manifest's name and version point.
    if (SUCCEEDED(hr) && (destination->m_SolutionManifest->m_Version != input.m_TargetVersion ||
                          Vorn::std_stricmp(destination->m_SolutionManifest->m_Name.c_str(), solution.c_str()) != 0))
        hr = E_FAIL;
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failure to load dest manifest.");
        return hr;
    }
    hr = Common::SolutionManifestHelper::GatherProjects(input.m_ConfigurationName, *destination->m_SolutionManifest,
                                                        destination->m_Projects);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to gather projects from dest manifest");
        return hr;
    }
    destination->m_ConfigurationManifest = std::make_unique<Common::ConfigurationManifest>();
    destination->m_ConfigurationManifest->m_Name = input.m_ConfigurationName;
    m_DestinationInfo = std::move(destination);
    return GiveUpSourceStep();
}

// Takes the source's "S_OK" away and moves (or copies) its folder to the target's name; the
// source's own solution manifest stays in it until PlaceManifestStep.
HRESULT Discover::GiveUpSourceStep() {
    const InputParameters& input = *m_InputParameters;
    const std::string& solution = input.m_SolutionName;
    using Paths = Common::LocalDirectoryStructure;
    HRESULT hr = Paths::GetSolutionReleasePath(solution, input.m_SourceVersion, m_SourceFolder);
    if (SUCCEEDED(hr)) hr = Paths::GetSolutionReleasePath(solution, input.m_TargetVersion, m_TargetFolder);
    if (SUCCEEDED(hr)) hr = Paths::GetSolutionReleaseOkPath(solution, input.m_SourceVersion, m_SourceOk);
    if (FAILED(hr)) return hr;
    hr = Common::LocalFileSystem::DeleteFile(m_SourceOk);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to delete S_OK in source folder");
        return hr;
    }
    m_SourceGivenUp = true;
    QUOR_LOG(Log::DEBUG, "Renaming release folder \"%s\" to \"%s\"", m_SourceFolder.c_str(), m_TargetFolder.c_str());
    m_SourceMoved = true;
    if (FAILED(Common::LocalFileSystem::MoveFile(m_SourceFolder, m_TargetFolder, 2))) {
        m_SourceMoved = false;
        QUOR_LOG(Log::DEBUG, "Rename failed, trying copy");
        hr = Common::LocalFileSystemHelper::CopyDirectoryTree(m_SourceFolder, m_TargetFolder, input.m_LocalFileSystem,
                                                              false);
        if (FAILED(hr)) {
            QUOR_LOG(Log::ERROR, "Failed to rename release directory");
            return hr;
        }
    }
    return S_OK;
}

// The fetched target manifest replaces the source's in the release folder; the files the source
// takes from its projects are recorded first, for a rerun of an interrupted update.
HRESULT Discover::PlaceManifestStep() {
    // From the manifests cached before the project updates moved the source's project releases.
    std::vector<PROJECT> sourceProjects = m_SourceInfo->m_Projects;
    std::vector<UNMANAGED_FILE> sourceFiles;
    AutoUpdateProgress& progress = m_InputParameters->m_AutoUpdateProgress;
    HRESULT hr = Shared::GatherFiles(sourceProjects, m_ManifestCache, sourceFiles, progress);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to gather files from source");
        return hr;
    }
    std::vector<std::string> names;
    for (const UNMANAGED_FILE& file : sourceFiles) names.push_back(file.name);
    hr = PreviousManifest::AddNames(m_TargetFolder, names, progress.GetCancelFlag());
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to record the files of the source release");
        return hr;
    }
    hr = Common::LocalFileSystem::MoveFile(m_FetchedManifest->GetPath(), m_TargetFolder + "/solutionmanifest", 0);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failure to download dest manifest.");
        return hr;
    }
    m_FetchedManifest->SetKeep();  // it is the target's manifest now
    m_FetchedManifest.reset();
    return S_OK;
}

// A refused project discovery: when every project release the source lists is still complete,
// nothing the source needs was changed, so its folder takes its name back and it is marked
// complete again (a copy made instead of the move is left as a partial target).
void Discover::RestoreSource() {
    if (!m_SourceGivenUp) return;
    for (const PROJECT& project : m_SourceInfo->m_Projects) {
        std::string okPath;
        if (FAILED(Common::LocalDirectoryStructure::GetProjectReleaseOkPath(project.name, project.version, okPath)) ||
            !Common::LocalFileSystem::DoesFileOrDirectoryExist(okPath)) {
            QUOR_LOG(Log::ERROR, "Project release %s %d of the source is gone; the source stays incomplete",
                     project.name.c_str(), static_cast<int>(project.version));
            return;
        }
    }
    if (m_SourceMoved && FAILED(Common::LocalFileSystem::MoveFile(m_TargetFolder, m_SourceFolder, 0))) {
        QUOR_LOG(Log::ERROR, "Failed to move \"%s\" back to \"%s\"", m_TargetFolder.c_str(), m_SourceFolder.c_str());
        return;
    }
    if (FAILED(UpdateAndInstallShared::CreateOkFile(m_SourceOk))) {
        QUOR_LOG(Log::ERROR, "Failed to mark \"%s\" complete again", m_SourceFolder.c_str());
        return;
    }
    QUOR_LOG(Log::VERBOSE, "The source release \"%s\" is complete again", m_SourceFolder.c_str());
}

HRESULT Discover::UpdateInPlaceDiscoveryStep() {
    QUOR_LOG(Log::DEBUG, "%s", "");
    const InputParameters& input = *m_InputParameters;
    Common::LocalFileSystem& fileSystem = input.m_LocalFileSystem;
    IRemoteFileServer& server = input.m_RemoteFileServer;
    AutoUpdateProgress& progress = input.m_AutoUpdateProgress;
    const std::vector<PROJECT>& sourceProjects = m_SourceInfo->m_Projects;

    for (const PROJECT& project : m_DestinationInfo->m_Projects) {
        HRESULT hr = EnsureProjectInstalled(project.name, fileSystem);
        if (FAILED(hr)) {
            QUOR_LOG(Log::ERROR, "Failed while ensuring project is installed");
            return hr;
        }
        std::vector<DWORD> releases;
        hr = EnumerateInstalledProjectReleases(project.name, fileSystem, releases, false);
        if (FAILED(hr)) {
            QUOR_LOG(Log::ERROR, "Failed to enumerate installed project releases for %s.", project.name.c_str());
            return hr;
        }
        if (std::binary_search(releases.begin(), releases.end(), project.version)) {
            QUOR_LOG(Log::VERBOSE, "Target version %d of %s is already installed", static_cast<int>(project.version),
                     project.name.c_str());
            continue;
        }

        bool install = true;
        const auto source = std::lower_bound(sourceProjects.begin(), sourceProjects.end(), project,
                                             PROJECT::PredicateByName);
        if (source == sourceProjects.end() || PROJECT::PredicateByName(project, *source)) {
            QUOR_LOG(Log::VERBOSE, "Source solution does not use the project %s, doing install", project.name.c_str());
        } else if (IsProjectReleaseUsedBySolutions(*source, m_OtherReleases) || !m_OtherSolutionsKnown ||
                   IsProjectReleaseUsedBySolutions(*source, m_OtherSolutionsReleases)) {
            QUOR_LOG(Log::VERBOSE, "Source solution has a version of %s, but other solution(s) are using it, doing install",
                     project.name.c_str());
        } else {
            QUOR_LOG(Log::VERBOSE, "Found valid source for project %s, will update from %d to %d", project.name.c_str(),
                     static_cast<int>(source->version), static_cast<int>(project.version));
            if (source->version != INVALID_RELEASE_VERSION) {
                install = false;
                m_UpdateInputParameters.push_back(std::make_unique<UpdateProject::InputParameters>(
                    UpdateProject::InputParameters{project.name, source->version, project.version, fileSystem, server,
                                                   progress}));
                m_UpdateDiscovers.push_back(std::make_unique<UpdateProject::Discover>(*m_UpdateInputParameters.back()));
                hr = m_UpdateDiscovers.back()->m_hr;
                if (FAILED(hr)) {
                    QUOR_LOG(Log::ERROR, "Failed to discover %s from version %d to %d", project.name.c_str(),
                             static_cast<int>(source->version), static_cast<int>(project.version));
                    return hr;
                }
            }
        }
        if (!install) continue;
        m_InstallInputParameters.push_back(std::make_unique<InstallProjectRelease::InputParameters>(
            InstallProjectRelease::InputParameters{project.name, project.version, fileSystem, server, progress}));
        m_InstallDiscovers.push_back(std::make_unique<InstallProjectRelease::Discover>(*m_InstallInputParameters.back()));
        hr = m_InstallDiscovers.back()->m_hr;
        if (FAILED(hr)) {
            QUOR_LOG(Log::ERROR, "Failed to do discovery for install project %s, version %d", project.name.c_str(),
                     static_cast<int>(project.version));
            return hr;
        }
    }
    return S_OK;
}

Execute::Execute(const Discover& discover) : m_Discover(&discover) {
    QUOR_LOG(Log::DEBUG, "%s", "");
    m_hr = discover.m_hr;
    if (FAILED(m_hr)) {
        QUOR_LOG(Log::ERROR, "Discover failed");
        return;
    }
    const InputParameters& input = *discover.m_InputParameters;
    for (const auto& project : discover.m_InstallDiscovers) {
        m_hr = InstallProjectRelease::Execute(*project).m_hr;
        if (FAILED(m_hr)) {
            QUOR_LOG(Log::ERROR, "Failed to execute discovered command");
            return;
        }
    }
    for (const auto& project : discover.m_UpdateDiscovers) {
        m_hr = UpdateProject::Execute(*project, nullptr, nullptr).m_hr;
        if (FAILED(m_hr)) {
            QUOR_LOG(Log::ERROR, "Failed to execute discovered command");
            return;
        }
    }
    m_hr = PrepareDeployFolderStep(*discover.m_SourceInfo, *discover.m_DestinationInfo, discover.m_ManifestCache,
                                   input.m_LocalFileSystem, input.m_AutoUpdateProgress);
    if (FAILED(m_hr)) {
        QUOR_LOG(Log::ERROR, "Failed to prepare the deploy folder");
        return;
    }
    m_hr = Shared::WriteConfigurationFile(input.m_SolutionName, input.m_TargetVersion, input.m_ConfigurationName,
                                          discover.m_DestinationInfo->m_Projects);
    if (FAILED(m_hr)) {
        QUOR_LOG(Log::ERROR, "Failed to write configuration manifest");
        return;
    }
    m_hr = CreateOkFile(input.m_SolutionName, input.m_TargetVersion);
    if (FAILED(m_hr)) {
        QUOR_LOG(Log::ERROR, "Failed to create S_OK file");
        return;
    }
    std::string releasePath;
    if (SUCCEEDED(Common::LocalDirectoryStructure::GetSolutionReleasePath(input.m_SolutionName, input.m_TargetVersion,
                                                                         releasePath)))
        PreviousManifest::ForgetOnceCompleteFolder(releasePath);
    QUOR_LOG(Log::DEBUG, "Succeeded");
}

HRESULT PrepareDeployFolderStep(const InstalledSolutionInfo& source, const InstalledSolutionInfo& destination,
                                Common::ReleaseManifestCache& cache, Common::LocalFileSystem& fileSystem,
                                AutoUpdateProgress& progress) {
    QUOR_LOG(Log::DEBUG, "%s", "");
    // GatherFiles sorts the list it is given; the project indices of its files refer to that order.
    std::vector<PROJECT> sourceProjects = source.m_Projects;
    std::vector<PROJECT> destinationProjects = destination.m_Projects;
    std::vector<UNMANAGED_FILE> sourceFiles, destinationFiles;
    HRESULT hr = Shared::GatherFiles(sourceProjects, cache, sourceFiles, progress);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to gather files from source");
        return hr;
    }
    hr = Shared::GatherFiles(destinationProjects, cache, destinationFiles, progress);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to gather files from dest");
        return hr;
    }

    std::vector<UNMANAGED_FILE> toCopy, toDelete;
    for (const UNMANAGED_FILE& file : destinationFiles) {
        const UNMANAGED_FILE* before = FindFile(sourceFiles, file);
        bool same = false;
        if (before && before->projectIndex < sourceProjects.size() && file.projectIndex < destinationProjects.size()) {
            const PROJECT& was = sourceProjects[before->projectIndex];
            const PROJECT& is = destinationProjects[file.projectIndex];
            same = Vorn::std_stricmp(was.name.c_str(), is.name.c_str()) == 0 && was.version == is.version;
        }
        if (!same) InsertSorted(toCopy, file);
    }
    const std::string& solution = destination.m_SolutionManifest->m_Name;
    const DWORD version = destination.m_SolutionManifest->m_Version;
    std::string deploy;
    hr = Common::LocalDirectoryStructure::GetSolutionDeployPath(solution, version, deploy);
    if (FAILED(hr)) return hr;
    // A file kept from the source counts only when it stands in the moved deploy folder as a
    // regular file: a link on its way (the deploy folder itself, or one of its folders) is removed
    // as damage by the look, and what it held is copied again.
    for (const UNMANAGED_FILE& file : destinationFiles)
        if (!FindFile(toCopy, file) && !IsRegularFileOfTree(deploy + "/" + file.name)) {
            QUOR_LOG(Log::WARNING, "\"%s\" is missing from the deploy folder; it is copied again", file.name.c_str());
            InsertSorted(toCopy, file);
        }
    // A file the destination drops that is gone already (with a removed link) needs no deletion.
    for (const UNMANAGED_FILE& file : sourceFiles)
        if (!FindFile(destinationFiles, file) && IsEntryOfTree(deploy + "/" + file.name)) InsertSorted(toDelete, file);

    hr = Shared::CopyUnmanagedFiles(toCopy, destinationProjects, solution, version, fileSystem, progress);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to copy unmanaged files");
        return hr;
    }
    hr = Shared::DeleteUnmanagedFiles(toDelete, solution, version, fileSystem, progress);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to delete unmanaged files");
        return hr;
    }
    // What the steps above do not see goes too: a file whose name changed only in case, kept under
    // its old spelling beside the copy. A file no project provides is its user's and stays.
    hr = UpdateAndInstallShared::RemoveStaleSolutionDeployFiles(solution, version, destinationFiles, fileSystem,
                                                                   progress);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to remove the stale copies of the target's files");
        return hr;
    }
    QUOR_LOG(Log::VERBOSE, "Succeeded");
    return S_OK;
}

}  // namespace Quor::User::UpdateSolution::UpdateInPlace
