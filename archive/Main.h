#pragma once
// Main: the archive file system's maker of managers (Quor::FileSystem::IMain), at most one live
// manager per folder text. It holds weak references only: a manager lives as long as its users
// hold it, and Main notices its end at the next CreateManager. No lock (one thread at a time).
#include <memory>
#include <string>
#include <vector>

#include "archive/IMain.h"

namespace Quor::FileSystem::Impl {

class Main final : public IMain {
public:
    Main() = default;
    bool CreateManager(std::shared_ptr<IManager>& manager, const std::string& rootDirectory,
                       const std::string& namePrefix) override;

private:
    std::vector<std::weak_ptr<IManager>> m_Managers;
};

}  // namespace Quor::FileSystem::Impl
