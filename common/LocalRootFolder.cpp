#include "common/LocalRootFolder.h"

#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "common/Log.h"

namespace Quor::Common {

std::string LocalRootFolder::FromWorkingFolder(const std::string& workingFolder) {
    std::string root = workingFolder;
    for (char& c : root)
        if (c == '\\') c = '/';
    const size_t found = root.rfind("QUOR/");
    if (found != std::string::npos) root.resize(found + 4);
    return root;
}

std::string LocalRootFolder::Get() {
    // The working folder of any length (a fixed 1024-byte buffer would lose a deep one).
    // TODO(foundation): Vorn::std_getcwd once the bounded runtime has landed.
    std::unique_ptr<char, decltype(&std::free)> cwd(getcwd(nullptr, 0), &std::free);
    if (!cwd) {
        QUOR_LOG_TAG(Log::ERROR, "static std::string Quor::Common::LocalRootFolder::Get()",
                     "Cannot read the working folder");
        return ".";
    }
    return FromWorkingFolder(cwd.get());
}

HRESULT LocalRootFolder::Set(const std::string&) { return S_OK; }
HRESULT LocalRootFolder::SetToCurrentWorkingDirectory() { return S_OK; }
void LocalRootFolder::SetOverride(const std::string&) {}
void LocalRootFolder::ClearOverride() {}

}  // namespace Quor::Common
