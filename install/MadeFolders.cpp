#include "install/MadeFolders.h"

#include "common/Log.h"
#include "remote/LocalFileSystemHelper.h"

namespace Quor::User {

MadeFolders::~MadeFolders() {
    if (SUCCEEDED(m_Result)) return;
    for (auto folder = m_Folders.rbegin(); folder != m_Folders.rend(); ++folder) {
        if (!Common::LocalFileSystem::DoesFileOrDirectoryExist(*folder)) continue;
        QUOR_LOG(Log::DEBUG, "Removing \"%s\", made by a step that failed.", folder->c_str());
        if (FAILED(Common::LocalFileSystemHelper::DeleteDirectoryTree(*folder, m_FileSystem)))
            QUOR_LOG(Log::ERROR, "Failed to remove \"%s\".", folder->c_str());
    }
}

}  // namespace Quor::User
