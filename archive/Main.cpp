#include "archive/Main.h"

#include "archive/Manager.h"
#include "common/Log.h"
#include "foundation/Singleton.h"

namespace Quor::FileSystem {

namespace Impl {

bool Main::CreateManager(std::shared_ptr<IManager>& manager, const std::string& rootDirectory,
                         const std::string& namePrefix) {
    QUOR_LOG(Log::VERBOSE, "(%s, %s)", rootDirectory.c_str(), namePrefix.c_str());
    if (rootDirectory.empty()) {
        QUOR_LOG(Log::ERROR, "Empty directory name");
        return false;
    }
    for (auto it = m_Managers.begin(); it != m_Managers.end();) {
        std::shared_ptr<IManager> live = it->lock();
        if (!live) {
            it = m_Managers.erase(it);
            continue;
        }
        if (live->GetRootDirectory() == rootDirectory) return false;
        ++it;
    }
    if (!Manager::CheckRootDirectory(rootDirectory)) return false;
    auto created = std::make_shared<Manager>();
    if (!created->SetRootDirectory(rootDirectory, namePrefix)) {
        QUOR_LOG(Log::ERROR, "Failed to set root directory");
        return false;
    }
    manager = created;
    m_Managers.push_back(created);
    return true;
}

}  // namespace Impl

IMain& Instance() { return Vorn::SingletonHolder<Impl::Main, Loki::PhoenixSingleton>::Instance(); }

}  // namespace Quor::FileSystem
