#pragma once
// Quor::FileSystem::IMain: the process-wide maker of archive managers, at most one live manager
// per folder (folder texts compared byte for byte). Instance() gives the one object of the
// process: made on first use, destroyed at exit, made again when used after that.
//
// No lock is taken by the object itself; callers use it from one thread at a time.
#include <memory>
#include <string>

#include "archive/IManager.h"

namespace Quor::FileSystem {

class IMain {
public:
    virtual ~IMain() = default;
    // Makes the manager of rootDirectory (created with its parents when missing) and loads the
    // pairs found there. False when the folder text is empty, already has a live manager, cannot
    // be created, is held by another writer past the manager's wait (see Manager.h), or a pair
    // cannot be loaded; `manager` is then left as it was. An empty
    // namePrefix names new pairs "Archive_<number>.zef".
    virtual bool CreateManager(std::shared_ptr<IManager>& manager, const std::string& rootDirectory,
                               const std::string& namePrefix) = 0;
};

IMain& Instance();

}  // namespace Quor::FileSystem
