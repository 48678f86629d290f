#include "common/LocalRootFolder.h"

#include <cerrno>
#include <vector>

#include "common/Log.h"
#include "foundation/CStd/CStd.h"

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
    // The working folder, also one deeper than 1023 bytes (the buffer grows for it).
    std::vector<char> buffer(1024);
    char* cwd = nullptr;
    while (!(cwd = Vorn::std_getcwd(static_cast<uint_size>(buffer.size()), buffer.data())) &&
           errno == ERANGE && buffer.size() < (1u << 20))
        buffer.resize(buffer.size() * 2);
    if (!cwd) {
        QUOR_LOG_TAG(Log::ERROR, "static std::string Quor::Common::LocalRootFolder::Get()",
                     "Cannot read the working folder");
        return ".";
    }
    return FromWorkingFolder(cwd);
}

HRESULT LocalRootFolder::Set(const std::string&) {
    return S_OK;
}
HRESULT LocalRootFolder::SetToCurrentWorkingDirectory() {
    return S_OK;
}
void LocalRootFolder::SetOverride(const std::string&) {}
void LocalRootFolder::ClearOverride() {}

}  // namespace Quor::Common
