#include "install/DeployFolderFinish.h"

#include <sys/stat.h>

#include <cstring>
#include <set>

#include "common/LocalDirectoryStructure.h"
#include "common/Log.h"
#include "foundation/CStd/CStdFiles.h"

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
    Common::LocalFileSystem& fileSystem;
    AutoUpdateProgress& progress;
};

// Deletes what `walk` does not list below folder (whose path relative to the deploy folder is
// `relative`, empty or ending in "/"); `empty` tells whether the folder holds nothing afterwards.
HRESULT Clean(const Walk& walk, const std::string& folder, const std::string& relative, bool& empty) {
    empty = true;
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
        if (S_ISDIR(status.st_mode)) {
            bool emptied = false;
            HRESULT hr = Clean(walk, path, key + "/", emptied);
            if (FAILED(hr)) return hr;
            if (!emptied) {
                empty = false;
                continue;
            }
            hr = walk.fileSystem.RemoveDirectory(path);
            if (FAILED(hr)) {
                QUOR_LOG(Log::ERROR, "Failed to remove directory \"%s\"", path.c_str());
                return hr;
            }
            continue;
        }
        if (S_ISREG(status.st_mode) && walk.listed.count(key)) {
            empty = false;
            continue;
        }
        if (Common::IsCancelRequested(walk.progress.GetCancelFlag())) {
            QUOR_LOG(Log::ERROR, "Cancellation request detected, aborting");
            return E_ABORT;
        }
        QUOR_LOG(Log::VERBOSE, "File \"%s\" is not listed by the release and will be deleted.", key.c_str());
        const HRESULT hr = walk.fileSystem.DeleteFile(path);  // a link itself, never what it points to
        if (FAILED(hr)) {
            QUOR_LOG(Log::ERROR, "Failed to delete unlisted file \"%s\".", path.c_str());
            return hr;
        }
    }
    return S_OK;
}

}  // namespace

HRESULT RemoveUnlistedFiles(const std::string& deploy, const std::set<std::string>& listed,
                            Common::LocalFileSystem& fileSystem, AutoUpdateProgress& progress) {
    QUOR_LOG(Log::DEBUG, "(%s)", deploy.c_str());
    struct stat status {};
    if (::lstat(deploy.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) return S_OK;
    bool empty = false;
    const HRESULT hr = Clean(Walk{listed, fileSystem, progress}, deploy, "", empty);
    if (FAILED(hr)) QUOR_LOG(Log::ERROR, "Failed to remove the files the release does not list");
    return hr;
}

HRESULT RemoveUnlistedDeployFiles(const std::string& project, DWORD version, const ReleaseManifest& manifest,
                                  Common::LocalFileSystem& fileSystem, AutoUpdateProgress& progress) {
    QUOR_LOG(Log::DEBUG, "%s", "");
    std::string release;
    const HRESULT hr = Common::LocalDirectoryStructure::GetProjectReleasePath(project, version, release);
    if (FAILED(hr)) return hr;
    std::set<std::string> listed;
    for (const ReleaseManifest::ENTRY& entry : manifest.m_Entries)
        if (!(entry.flags & (ReleaseManifest::FLAG_MANAGED | ReleaseManifest::FLAG_ARCHIVED))) listed.insert(entry.name);
    return RemoveUnlistedFiles(release + "/deploy", listed, fileSystem, progress);
}

HRESULT RemoveUnlistedSolutionDeployFiles(const std::string& solution, DWORD version,
                                          const std::vector<UpdateAndInstallSolutionShared::UNMANAGED_FILE>& files,
                                          Common::LocalFileSystem& fileSystem, AutoUpdateProgress& progress) {
    QUOR_LOG(Log::DEBUG, "%s", "");
    std::string deploy;
    const HRESULT hr = Common::LocalDirectoryStructure::GetSolutionDeployPath(solution, version, deploy);
    if (FAILED(hr)) return hr;
    std::set<std::string> listed;
    for (const UpdateAndInstallSolutionShared::UNMANAGED_FILE& file : files) listed.insert(file.name);
    return RemoveUnlistedFiles(deploy, listed, fileSystem, progress);
}

}  // namespace Quor::User::UpdateAndInstallShared
