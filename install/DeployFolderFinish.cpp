#include "install/DeployFolderFinish.h"

#include <sys/stat.h>

#include <cstring>
#include <set>

#include "common/EntryPlacement.h"
#include "common/LocalDirectoryStructure.h"
#include "common/Log.h"
#include "foundation/CStd/CStdFiles.h"
#include "foundation/CStd/CStdStrings.h"
#include "install/PreviousManifest.h"

namespace Quor::User::UpdateAndInstallShared {
namespace {

using Common::ReleaseManifest;

// The names of one folder (see Vorn::std_get_dir_listing), freed on every way out.
class DirListing {
public:
    explicit DirListing(const std::string& folder) { m_Ok = Vorn::std_get_dir_listing(folder.c_str(), m_List); }
    ~DirListing() {
        if (m_List) Vorn::std_free_dir_listing(m_List);
    }
    DirListing(const DirListing&) = delete;
    DirListing& operator=(const DirListing&) = delete;
    bool Ok() const { return m_Ok; }
    const char* First() const { return m_List; }

private:
    char* m_List = nullptr;
    bool m_Ok = false;
};

struct Walk {
    const std::set<std::string>& listed;
    const KnownNames& known;
    Common::LocalFileSystem& fileSystem;
    AutoUpdateProgress& progress;
};

// What a folder holds once its stale files are gone.
struct Left {
    bool empty = true;     // nothing is left in it
    bool removed = false;  // the walk removed something below it
};

HRESULT Delete(const Walk& walk, const std::string& path, const std::string& key, const char* why) {
    if (Common::IsCancelRequested(walk.progress.GetCancelFlag())) {
        QUOR_LOG(Log::ERROR, "Cancellation request detected, aborting");
        return E_ABORT;
    }
    QUOR_LOG(Log::VERBOSE, why, key.c_str());
    const HRESULT hr = walk.fileSystem.DeleteFile(path);  // a link itself, never what it points to
    if (FAILED(hr)) QUOR_LOG(Log::ERROR, "Failed to delete stale file \"%s\".", path.c_str());
    return hr;
}

// Removes the stale files below folder (whose path relative to the deploy folder is `relative`,
// empty or ending in "/").
HRESULT Clean(const Walk& walk, const std::string& folder, const std::string& relative, Left& left) {
    const DirListing listing(folder);
    if (!listing.Ok()) {
        QUOR_LOG(Log::ERROR, "Failed to search directory %s", folder.c_str());
        return E_FAIL;
    }
    for (const char* name = listing.First(); *name; name += std::strlen(name) + 1) {
        const std::string path = folder + "/" + name, key = relative + name;
        struct stat status {};
        if (::lstat(path.c_str(), &status) != 0) {
            QUOR_LOG(Log::ERROR, "Failed to read the status of \"%s\".", path.c_str());
            return E_FAIL;
        }
        HRESULT hr = S_OK;
        if (S_ISDIR(status.st_mode)) {
            Left below;
            hr = Clean(walk, path, key + "/", below);
            if (FAILED(hr)) return hr;
            left.removed |= below.removed;
            if (!(below.empty && below.removed)) {
                left.empty = false;
                continue;
            }
            hr = walk.fileSystem.RemoveDirectory(path);
            if (FAILED(hr)) {
                QUOR_LOG(Log::ERROR, "Failed to remove directory \"%s\"", path.c_str());
                return hr;
            }
            continue;
        }
        const bool regular = S_ISREG(status.st_mode);
        if (walk.listed.count(key)) {
            if (regular) {
                left.empty = false;
                continue;
            }
            hr = Delete(walk, path, key, "\"%s\" is not a regular file where the release lists one and will be deleted.");
        } else if (regular && walk.known.count(key)) {
            hr = Delete(walk, path, key, "File \"%s\" is a stale copy of another release's file and will be deleted.");
        } else {
            left.empty = false;  // no release lists it: the program's or its user's
            continue;
        }
        if (FAILED(hr)) return hr;
        left.removed = true;
    }
    return S_OK;
}

// The deploy files the release folder's record of earlier releases names, when it has one.
HRESULT AddRecordedNames(const std::string& release, KnownNames& known, AutoUpdateProgress& progress) {
    ReleaseManifest record;
    bool present = false;
    const HRESULT hr = PreviousManifest::Load(release, record, present, progress.GetCancelFlag());
    if (FAILED(hr)) return hr;
    for (const ReleaseManifest::ENTRY& entry : record.m_Entries)
        if (Common::PlaceOf(entry) == Common::EntryPlace::kDeploy) known.insert(entry.name);
    return S_OK;
}

}  // namespace

bool CaseInsensitiveLess::operator()(const std::string& a, const std::string& b) const {
    return Vorn::std_stricmp(a.c_str(), b.c_str()) < 0;
}

HRESULT RemoveStaleFiles(const std::string& deploy, const std::set<std::string>& listed, const KnownNames& known,
                         Common::LocalFileSystem& fileSystem, AutoUpdateProgress& progress) {
    QUOR_LOG(Log::DEBUG, "(%s)", deploy.c_str());
    struct stat status {};
    if (::lstat(deploy.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) return S_OK;
    Left left;
    const HRESULT hr = Clean(Walk{listed, known, fileSystem, progress}, deploy, "", left);
    if (FAILED(hr)) QUOR_LOG(Log::ERROR, "Failed to remove the stale files of other releases");
    return hr;
}

HRESULT RemoveStaleDeployFiles(const std::string& project, DWORD version, const ReleaseManifest& manifest,
                               Common::LocalFileSystem& fileSystem, AutoUpdateProgress& progress) {
    QUOR_LOG(Log::DEBUG, "%s", "");
    std::string release;
    HRESULT hr = Common::LocalDirectoryStructure::GetProjectReleasePath(project, version, release);
    if (FAILED(hr)) return hr;
    std::set<std::string> listed;
    KnownNames known;
    for (const ReleaseManifest::ENTRY& entry : manifest.m_Entries)
        if (Common::PlaceOf(entry) == Common::EntryPlace::kDeploy) {
            listed.insert(entry.name);
            known.insert(entry.name);
        }
    hr = AddRecordedNames(release, known, progress);
    if (FAILED(hr)) return hr;
    return RemoveStaleFiles(release + "/deploy", listed, known, fileSystem, progress);
}

HRESULT RemoveStaleSolutionDeployFiles(const std::string& solution, DWORD version,
                                       const std::vector<UpdateAndInstallSolutionShared::UNMANAGED_FILE>& files,
                                       Common::LocalFileSystem& fileSystem, AutoUpdateProgress& progress) {
    QUOR_LOG(Log::DEBUG, "%s", "");
    std::string release;
    HRESULT hr = Common::LocalDirectoryStructure::GetSolutionReleasePath(solution, version, release);
    if (FAILED(hr)) return hr;
    std::set<std::string> listed;
    KnownNames known;
    for (const UpdateAndInstallSolutionShared::UNMANAGED_FILE& file : files) {
        listed.insert(file.name);
        known.insert(file.name);
    }
    hr = AddRecordedNames(release, known, progress);
    if (FAILED(hr)) return hr;
    return RemoveStaleFiles(release + "/deploy", listed, known, fileSystem, progress);
}

}  // namespace Quor::User::UpdateAndInstallShared
