#pragma once
// Quor::User::WorkingFolderGuard: puts the process's working folder back where it was when the
// guard was made, when the guard dies. It holds the folder open, so the way back works also when
// the folder's path is long or was renamed meanwhile. A folder that can no longer be entered is
// logged at ERROR. The working folder is process-wide: one guard user at a time.
#include "foundation/UniqueFd.h"

namespace Quor::User {

class WorkingFolderGuard {
public:
    WorkingFolderGuard();
    ~WorkingFolderGuard();
    WorkingFolderGuard(const WorkingFolderGuard&) = delete;
    WorkingFolderGuard& operator=(const WorkingFolderGuard&) = delete;

private:
    Vorn::UniqueFd m_Folder;
};

}  // namespace Quor::User
