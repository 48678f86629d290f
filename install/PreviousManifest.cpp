#include "install/PreviousManifest.h"

#include <sys/stat.h>

#include <cerrno>

#include "common/ConfigurationManifest.h"
#include "common/EntryPlacement.h"
#include "common/LocalDirectoryStructure.h"
#include "common/LocalFileSystem.h"
#include "common/Log.h"
#include "common/ReleaseManifestCache.h"
#include "common/SolutionManifest.h"
#include "common/SolutionManifestHelper.h"
#include "foundation/CStd/CStdStrings.h"
#include "install/UpdateAndInstallSolutionShared.h"

namespace Quor::User::PreviousManifest {
namespace {

using Common::ReleaseManifest;

bool IsRegularFile(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

std::string RecordPath(const std::string& releaseFolder) { return releaseFolder + "/" + kFileName; }

// The record with the deploy entries of `other` that it lacks (names compare without regard to
// case), written aside and renamed over the old record.
HRESULT Merge(const std::string& releaseFolder, const ReleaseManifest& other, const signed char* cancel) {
    ReleaseManifest record;
    HRESULT hr = IsRegularFile(RecordPath(releaseFolder)) ? record.Load(RecordPath(releaseFolder), cancel) : E_FAIL;
    if (hr == E_ABORT) return hr;
    if (FAILED(hr)) {
        if (IsRegularFile(RecordPath(releaseFolder)))
            QUOR_LOG(Log::WARNING, "The record of earlier releases in \"%s\" cannot be read; it is made anew.",
                     releaseFolder.c_str());
        record = ReleaseManifest();
        record.m_ProjectName = other.m_ProjectName;
        record.m_ReleaseVersion = other.m_ReleaseVersion;
    }
    for (const ReleaseManifest::ENTRY& entry : other.m_Entries) {
        if (Common::PlaceOf(entry) != Common::EntryPlace::kDeploy) continue;
        // Add refuses a name the record holds already, in any spelling.
        (void)record.Add(entry.name, entry.version, entry.md5, entry.flags, entry.size, entry.compressedSize);
    }
    std::string aside;
    hr = Common::LocalFileSystem::CreateTempFile(aside);
    if (FAILED(hr)) return hr;
    hr = record.Save(aside);
    if (SUCCEEDED(hr)) hr = Common::LocalFileSystem::MoveFile(aside, RecordPath(releaseFolder), 0);
    if (FAILED(hr)) (void)Common::LocalFileSystem::DeleteFile(aside);
    return hr;
}

}  // namespace

HRESULT TakeFromMovedFolder(const std::string& releaseFolder) {
    QUOR_LOG(Log::DEBUG, "(\"%s\")", releaseFolder.c_str());
    const HRESULT hr = Common::LocalFileSystem::MoveFile(releaseFolder + "/releasemanifest", RecordPath(releaseFolder), 0);
    if (FAILED(hr))
        QUOR_LOG(Log::ERROR, "Failed to keep the manifest of the release \"%s\" was moved from.", releaseFolder.c_str());
    return hr;
}

HRESULT Undo(const std::string& releaseFolder) {
    QUOR_LOG(Log::DEBUG, "(\"%s\")", releaseFolder.c_str());
    const HRESULT hr = Common::LocalFileSystem::MoveFile(RecordPath(releaseFolder), releaseFolder + "/releasemanifest", 0);
    if (FAILED(hr)) QUOR_LOG(Log::ERROR, "Failed to put back the manifest of \"%s\".", releaseFolder.c_str());
    return hr;
}

HRESULT KeepForeign(const std::string& project, DWORD version, const std::string& releaseFolder,
                    const signed char* cancel) {
    QUOR_LOG(Log::DEBUG, "(\"%s\")", releaseFolder.c_str());
    const std::string own = releaseFolder + "/releasemanifest";
    if (!IsRegularFile(own)) return S_OK;
    ReleaseManifest manifest;
    HRESULT hr = manifest.Load(own, cancel);
    if (hr == E_ABORT) return hr;
    if (FAILED(hr) || Vorn::std_stricmp(manifest.m_ProjectName.c_str(), project.c_str()) != 0 ||
        manifest.m_ReleaseVersion == version)
        return S_OK;
    QUOR_LOG(Log::VERBOSE, "\"%s\" holds files of release 0x%08lx; they are recorded as an earlier release's.",
             releaseFolder.c_str(), static_cast<unsigned long>(manifest.m_ReleaseVersion));
    hr = IsRegularFile(RecordPath(releaseFolder)) ? Merge(releaseFolder, manifest, cancel)
                                                   : Common::LocalFileSystem::MoveFile(own, RecordPath(releaseFolder), 0);
    if (FAILED(hr))
        QUOR_LOG(Log::ERROR, "Failed to record the earlier release of \"%s\".", releaseFolder.c_str());
    return hr;
}

HRESULT KeepForeignSolution(const std::string& solution, DWORD version, const std::string& releaseFolder,
                            AutoUpdateProgress& progress) {
    QUOR_LOG(Log::DEBUG, "(\"%s\")", releaseFolder.c_str());
    const std::string own = releaseFolder + "/solutionmanifest", configurationPath = releaseFolder + "/configurationmanifest";
    if (!IsRegularFile(own) || !IsRegularFile(configurationPath)) return S_OK;
    Common::SolutionManifest manifest;
    Common::ConfigurationManifest configuration;
    std::vector<Common::SolutionManifest::PROJECT> projects;
    if (FAILED(manifest.Load(own)) || Vorn::std_stricmp(manifest.m_Name.c_str(), solution.c_str()) != 0 ||
        manifest.m_Version == version || FAILED(configuration.Load(configurationPath)) ||
        FAILED(Common::SolutionManifestHelper::GatherProjects(configuration, manifest, projects)))
        return S_OK;
    Common::ReleaseManifestCache cache;
    std::vector<UpdateAndInstallSolutionShared::UNMANAGED_FILE> files;
    if (FAILED(UpdateAndInstallSolutionShared::GatherFiles(projects, cache, files, progress))) return S_OK;
    QUOR_LOG(Log::VERBOSE, "\"%s\" holds files of release 0x%08lx; they are recorded as an earlier release's.",
             releaseFolder.c_str(), static_cast<unsigned long>(manifest.m_Version));
    std::vector<std::string> names;
    for (const auto& file : files) names.push_back(file.name);
    const HRESULT hr = AddNames(releaseFolder, names, progress.GetCancelFlag());
    if (FAILED(hr)) QUOR_LOG(Log::ERROR, "Failed to record the earlier release of \"%s\".", releaseFolder.c_str());
    return hr;
}

HRESULT AddNames(const std::string& releaseFolder, const std::vector<std::string>& names, const signed char* cancel) {
    ReleaseManifest listed;
    const unsigned char none[16] = {};
    for (const std::string& name : names) (void)listed.AddUnsorted(name, 0, none, 0, 0, 0);
    HRESULT hr = listed.SortEntries(cancel);
    if (FAILED(hr)) return hr;
    return Merge(releaseFolder, listed, cancel);
}

HRESULT Load(const std::string& releaseFolder, ReleaseManifest& record, bool& present, const signed char* cancel) {
    present = false;
    const std::string path = RecordPath(releaseFolder);
    if (!IsRegularFile(path)) return S_OK;
    const HRESULT hr = record.Load(path, cancel);
    if (hr == E_ABORT) return hr;
    if (FAILED(hr)) {
        QUOR_LOG(Log::WARNING, "The record of earlier releases \"%s\" cannot be read; no file is taken as theirs.",
                 path.c_str());
        record = ReleaseManifest();
        return S_OK;
    }
    present = true;
    return S_OK;
}

HRESULT Forget(const std::string& releaseFolder) {
    const std::string path = RecordPath(releaseFolder);
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0 && errno == ENOENT) return S_OK;
    const HRESULT hr = Common::LocalFileSystem::DeleteFile(path);
    if (FAILED(hr)) QUOR_LOG(Log::ERROR, "Failed to remove \"%s\".", path.c_str());
    return hr;
}

void ForgetOnceComplete(const std::string& project, DWORD version) {
    std::string release;
    if (FAILED(Common::LocalDirectoryStructure::GetProjectReleasePath(project, version, release))) return;
    ForgetOnceCompleteFolder(release);
}

void ForgetOnceCompleteFolder(const std::string& releaseFolder) {
    if (FAILED(Forget(releaseFolder)))
        QUOR_LOG(Log::WARNING, "The record of earlier releases in \"%s\" stays until the release is checked again.",
                 releaseFolder.c_str());
}

}  // namespace Quor::User::PreviousManifest
