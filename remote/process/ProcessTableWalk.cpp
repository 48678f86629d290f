#include "remote/process/ProcessTableWalk.h"

#include <vector>

#include "foundation/CStd/CStd.h"
#include "platform/ProcessTable.h"

namespace Vorn {

namespace {
constexpr uint_size kPart = 1024;
}

int WalkProcessTable(const std::function<void(ProcessId pid, const std::string& path)>& visit) {
    Quor::Platform::IProcessTable& table = Quor::Platform::ProcessTable();
    std::vector<uint32_t> pids;
    if (const int error = table.ListProcessIds(pids)) return error;
    std::string path;
    for (uint32_t pid : pids)
        if (table.ExecutablePath(pid, path)) visit(pid, path);
    return 0;
}

std::string ExecutableName(const std::string& path) {
    char name[kPart];
    if (!std_splitpath(path.c_str(), nullptr, 0, nullptr, 0, name, kPart, nullptr, 0)) return {};
    return name;
}

std::string ExecutableFileName(const std::string& path) {
    char name[kPart], ext[kPart], file[2 * kPart];
    if (!std_splitpath(path.c_str(), nullptr, 0, nullptr, 0, name, kPart, ext, kPart)) return {};
    std_makepath(file, sizeof file, nullptr, nullptr, name, ext);
    return file;
}

}  // namespace Vorn
