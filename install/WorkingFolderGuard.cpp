#include "install/WorkingFolderGuard.h"

#include <fcntl.h>
#include <unistd.h>

#include "common/Log.h"

namespace Quor::User {

WorkingFolderGuard::WorkingFolderGuard() : m_Folder(::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (!m_Folder.IsValid()) QUOR_LOG(Log::ERROR, "Cannot hold the working folder open; it will not be restored");
}

WorkingFolderGuard::~WorkingFolderGuard() {
    if (m_Folder.IsValid() && ::fchdir(m_Folder.Get()) != 0)
        QUOR_LOG(Log::ERROR, "Failed to restore the working folder");
}

}  // namespace Quor::User
