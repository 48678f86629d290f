#pragma once
// The root folder of the install tree ({root}, the folder named "QUOR" that holds everything the
// system installs), derived again on every call from the process's working folder: the working
// folder cut after the last occurrence of "QUOR/" (case-sensitive, also inside a longer name), or
// the whole working folder when it holds none. A process in <parent>/QUOR/system has
// {root} = <parent>/QUOR. There is no override: Set, SetToCurrentWorkingDirectory, SetOverride
// and ClearOverride change nothing.
// Thread-safe; note that the working folder, and so the root, is process-wide.
#include <string>

#include "foundation/Types.h"

namespace Quor::Common {

class LocalRootFolder {
public:
    // The root, without a trailing "/". When the working folder cannot be read: "." (the paths
    // built on it then stay relative and fail, instead of pointing at the file-system root).
    static std::string Get();
    static HRESULT Set(const std::string& path);
    static HRESULT SetToCurrentWorkingDirectory();
    static void SetOverride(const std::string& path);
    static void ClearOverride();

    // The root folder of a given working folder (what Get does with the real one).
    static std::string FromWorkingFolder(const std::string& workingFolder);
};

}  // namespace Quor::Common
