#include "common/AutoUpdateProgressHelper.h"

#include "foundation/Mutex.h"

namespace Quor::User::AutoUpdateProgressHelper {

void SetStringDataToFilenameFromPath(AutoUpdateProgress& progress, const std::string& path) {
    const size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    progress.m_Mutex->Lock();
    progress.m_StringData.swap(name);
    progress.m_Mutex->Unlock();
}

}  // namespace Quor::User::AutoUpdateProgressHelper
