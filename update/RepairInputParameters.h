#pragma once
// What a repair of the installed tree is given: references the caller owns and keeps alive while
// the repair's Discover and Execute live. The flags word and the server are not read.
#include <vector>
#include <string>

#include "common/AutoUpdateProgress.h"
#include "common/LocalFileSystem.h"
#include "foundation/Types.h"
#include "remote/IRemoteFileServer.h"

namespace Quor::User::Repair {

struct InputParameters {
    DWORD m_Flags;
    Common::LocalFileSystem& m_LocalFileSystem;
    IRemoteFileServer& m_RemoteFileServer;
    AutoUpdateProgress& m_AutoUpdateProgress;
};

// One file of a discovered folder: its name (no folder part) and its size, 0 until the size pass.
struct DISCOVERED_FILE {
    std::string m_Name;
    UINT m_Size = 0;
};

// One folder of the tree: its path relative to {root} ("" for {root}, else names joined by "/"),
// and its files sorted by name without regard to case (equal names in insertion order).
struct DISCOVERED_DIRECTORY {
    std::string m_Path;
    std::vector<DISCOVERED_FILE> m_Files;
};

}  // namespace Quor::User::Repair
