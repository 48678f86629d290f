#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>
#include <vector>

#include "foundation/CStd/CStd.h"
#include "platform/ProcessTable.h"
#include "platform/VolumeProperties.h"
#include "remote/process/Process.h"
#include "remote/process/ProcessTableWalk.h"

namespace Vorn {

int processGetTable(ProcessRecord** table, uint32_t* count) {
    if (!table || !count) return EINVAL;
    *table = nullptr;
    *count = 0;
    std::vector<uint32_t> pids;
    if (const int error = Quor::Platform::ProcessTable().ListProcessIds(pids)) return error;
    if (pids.size() > 0xFFFFFFFFu) return ENOMEM;
    auto* records = static_cast<ProcessRecord*>(std_malloc((pids.empty() ? 1 : pids.size()) * sizeof(ProcessRecord)));
    if (!records) return ENOMEM;
    for (size_t i = 0; i < pids.size(); ++i) records[i].pid = pids[i];
    *table = records;
    *count = static_cast<uint32_t>(pids.size());
    return 0;
}

int processEnumerate(ProcessRecord* records, uint32_t* count, uint32_t maximum) {
    if (!count || (maximum > 0 && !records)) return EINVAL;
    ProcessRecord* table = nullptr;
    uint32_t size = 0;
    if (const int error = processGetTable(&table, &size)) return error;
    const uint32_t n = size < maximum ? size : maximum;
    for (uint32_t i = 0; i < n; ++i) records[i] = table[i];
    *count = n;
    std_free(table);
    return 0;
}

bool processGetPath(ProcessId pid, uint_size size, char* buffer) {
    if (size == 0 || !buffer) return false;
    Quor::Platform::IProcessTable& table = Quor::Platform::ProcessTable();
    std::vector<uint32_t> pids;
    if (table.ListProcessIds(pids) != 0) return false;
    std::string path;
    for (uint32_t listed : pids) {
        if (listed != pid) continue;
        if (!table.ExecutablePath(pid, path)) return false;
        std_strncpy(buffer, size, path.c_str(), TRUNCATE);
        return true;
    }
    return false;
}

ProcessId processGetCurrentId() { return static_cast<ProcessId>(getpid()); }

bool processGetModuleFullPath(uint_size size, char* buffer) {
    return processGetPath(processGetCurrentId(), size, buffer);
}

bool processGetModuleFileName(uint_size size, char* buffer) {
    if (size == 0 || !buffer) return false;
    char full[4096];
    if (!processGetModuleFullPath(sizeof full, full)) return false;
    const std::string name = ExecutableFileName(full);
    if (name.empty()) return false;
    std_strncpy(buffer, size, name.c_str(), TRUNCATE);
    return true;
}

bool processGetModuleDirectory(uint_size size, char* buffer) {
    if (size < 1024 || !buffer) return false;
    return std_get_module_directory(size, buffer);
}

ProcessId processFindByBundle(const char* bundlePath) {
    if (!bundlePath || !*bundlePath) return 0;
    char* resolved = realpath(bundlePath, nullptr);
    if (!resolved) return 0;
    std::string folder = std::string(resolved) + "/Contents/MacOS/";
    free(resolved);
    struct stat st;
    if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return 0;
    ProcessId found = 0;
    WalkProcessTable([&](ProcessId pid, const std::string& path) {
        if (!found && path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0) found = pid;
    });
    return found;
}

bool processTerminateAllByPath(const char* path, bool spareSelf) {
    if (!path || !*path) return false;
    const ProcessId self = processGetCurrentId();
    bool any = false;
    WalkProcessTable([&](ProcessId pid, const std::string& executable) {
        if (executable != path && ExecutableFileName(executable) != path && ExecutableName(executable) != path)
            return;
        if (spareSelf && pid == self) return;
        any = true;
        processForceTerminate(pid);
    });
    return any;
}

}  // namespace Vorn

bool IsVolumeCaseSensitive(const char* folder) {
    return Quor::Platform::VolumeProperties().SupportsCaseSensitiveNames(folder);
}
