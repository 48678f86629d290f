#include "update/ArchiveFolderTidy.h"

#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "archive/ManagedFileHelper.h"
#include "common/ConvertVersion.h"
#include "common/LocalRootFolder.h"
#include "common/Log.h"
#include "install/InstalledState.h"

namespace Quor::User {
namespace {

namespace fs = std::filesystem;

// The release version a folder name spells in its one form a.b.c.d; false for any other name.
bool ReadVersion(const std::string& name, DWORD& version) {
    return SUCCEEDED(Common::ConvertVersion::ToNumber(name, version)) &&
           Common::ConvertVersion::ToString(version) == name;
}

// Deletes every regular file below folder (links are neither followed nor deleted) whose path
// relative to it the manager stores.
void RemoveStoredPlainCopies(const std::string& folder, FileSystem::IManager& manager) {
    std::error_code error;
    fs::recursive_directory_iterator walk(folder, fs::directory_options::none, error);
    std::vector<std::string> stored;
    for (; !error && walk != fs::recursive_directory_iterator(); walk.increment(error)) {
        const fs::file_status status = walk->symlink_status(error);
        if (error || !fs::is_regular_file(status)) continue;
        const std::string relative = fs::relative(walk->path(), folder, error).generic_string();
        std::string archive;
        uint32_t offset = 0, size = 0;
        if (!error && manager.Find(relative, archive, offset, size)) stored.push_back(walk->path().string());
    }
    if (error) QUOR_LOG(Log::ERROR, "Failed to list \"%s\": %s", folder.c_str(), error.message().c_str());
    for (const std::string& path : stored) {
        QUOR_LOG(Log::VERBOSE, "Deleting \"%s\": its archive stores it.", path.c_str());
        if (FAILED(Common::LocalFileSystem::DeleteFile(path)))
            QUOR_LOG(Log::ERROR, "Failed to delete \"%s\".", path.c_str());
    }
}

}  // namespace

void TidyArchiveFolders(Common::LocalFileSystem& fileSystem) {
    QUOR_LOG(Log::DEBUG, "%s", "");
    std::vector<std::string> projects;
    if (FAILED(EnumerateInstalledProjects(fileSystem, projects))) {
        QUOR_LOG(Log::ERROR, "Failed to enumerate the installed projects; their archive folders are left as they are.");
        return;
    }
    const std::string root = Common::LocalRootFolder::Get();
    for (const std::string& project : projects) {
        const std::string archives = root + "/projects/" + project + "/filearchives";
        std::error_code error;
        fs::directory_iterator folders(archives, error);
        for (; !error && folders != fs::directory_iterator(); folders.increment(error)) {
            const fs::directory_entry& folder = *folders;
            std::error_code unread;
            DWORD version = 0;
            if (!fs::is_directory(folder.symlink_status(unread)) || unread ||
                !ReadVersion(folder.path().filename().string(), version))
                continue;
            // Loading the folder's manager finishes or removes what an interrupted commit left.
            std::shared_ptr<FileSystem::IManager> manager;
            if (FAILED(ManagedFileHelper::GetFileSystemManager(project, version, manager)) || !manager) {
                QUOR_LOG(Log::ERROR, "Failed to read the archive folder \"%s\".", folder.path().c_str());
                continue;
            }
            RemoveStoredPlainCopies(folder.path().string(), *manager);
        }
    }
    ManagedFileHelper::Release();
}

}  // namespace Quor::User
