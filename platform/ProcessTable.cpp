#include "platform/ProcessTable.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace Quor::Platform {

namespace {

bool ParsePid(const char* name, uint32_t& pid) {
    if (!*name) return false;
    uint64_t value = 0;
    for (const char* p = name; *p; ++p) {
        if (*p < '0' || *p > '9') return false;
        value = value * 10 + static_cast<uint64_t>(*p - '0');
        if (value > 0x7FFFFFFF) return false;
    }
    pid = static_cast<uint32_t>(value);
    return pid != 0;
}

// The first word of /proc/<pid>/cmdline (the program's argv[0]).
bool FirstCommandWord(uint32_t pid, std::string& word) {
    const std::string file = "/proc/" + std::to_string(pid) + "/cmdline";
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char buffer[4096];
    ssize_t n;
    do {
        n = read(fd, buffer, sizeof buffer);
    } while (n < 0 && errno == EINTR);
    close(fd);
    if (n <= 0) return false;
    const size_t length = strnlen(buffer, static_cast<size_t>(n));
    if (length == 0) return false;
    word.assign(buffer, length);
    return true;
}

class ProcProcessTable : public IProcessTable {
public:
    int ListProcessIds(std::vector<uint32_t>& pids) override {
        pids.clear();
        DIR* dir = opendir("/proc");
        if (!dir) return errno ? errno : EIO;
        errno = 0;
        while (dirent* entry = readdir(dir)) {
            uint32_t pid;
            if (ParsePid(entry->d_name, pid)) pids.push_back(pid);
        }
        const int error = errno;
        closedir(dir);
        return error;
    }

    bool ExecutablePath(uint32_t pid, std::string& path) override {
        if (pid == 0 || pid > 0x7FFFFFFF) return false;
        const std::string link = "/proc/" + std::to_string(pid) + "/exe";
        std::string target(4096, '\0');
        const ssize_t n = readlink(link.c_str(), target.data(), target.size());
        if (n > 0 && static_cast<size_t>(n) < target.size()) {
            target.resize(static_cast<size_t>(n));
            static const std::string deleted = " (deleted)";
            if (target.size() > deleted.size() &&
                target.compare(target.size() - deleted.size(), deleted.size(), deleted) == 0)
                target.resize(target.size() - deleted.size());
            path = target;
            return true;
        }
        return FirstCommandWord(pid, path);
    }
};

ProcProcessTable g_procTable;
std::atomic<IProcessTable*> g_installed{nullptr};

}  // namespace

IProcessTable& ProcessTable() {
    IProcessTable* installed = g_installed.load();
    return installed ? *installed : g_procTable;
}

void SetProcessTableForTests(IProcessTable* table) { g_installed.store(table); }

}  // namespace Quor::Platform
