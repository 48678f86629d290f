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

// Up to limit bytes of a /proc file; false when it cannot be read or holds more than limit.
bool ReadProcFile(const std::string& file, size_t limit, std::string& bytes) {
    bytes.clear();
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char buffer[4096];
    bool ok = true;
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ok = false;
            break;
        }
        if (n == 0) break;
        if (bytes.size() + static_cast<size_t>(n) > limit) {
            ok = false;
            break;
        }
        bytes.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    return ok;
}

bool ValidPid(uint32_t pid) { return pid != 0 && pid <= 0x7FFFFFFF; }

bool ReadExeLink(uint32_t pid, std::string& path) {
    if (!ValidPid(pid)) return false;
    const std::string link = "/proc/" + std::to_string(pid) + "/exe";
    std::string target(4096, '\0');
    const ssize_t n = readlink(link.c_str(), target.data(), target.size());
    if (n <= 0 || static_cast<size_t>(n) >= target.size()) return false;
    target.resize(static_cast<size_t>(n));
    static const std::string deleted = " (deleted)";
    if (target.size() > deleted.size() &&
        target.compare(target.size() - deleted.size(), deleted.size(), deleted) == 0)
        target.resize(target.size() - deleted.size());
    path = target;
    return true;
}

// The first two numbers of the "Uid:" line of /proc/<pid>/status.
bool ReadOwnerIds(uint32_t pid, uint32_t& realUid, uint32_t& effectiveUid) {
    if (!ValidPid(pid)) return false;
    std::string status;
    if (!ReadProcFile("/proc/" + std::to_string(pid) + "/status", 64u << 10, status)) return false;
    size_t at = status.find("\nUid:");
    if (at == std::string::npos) return false;
    at += 5;
    uint64_t ids[2] = {0, 0};
    for (uint64_t& id : ids) {
        while (at < status.size() && (status[at] == ' ' || status[at] == '\t')) ++at;
        const size_t start = at;
        while (at < status.size() && status[at] >= '0' && status[at] <= '9' && at - start < 11)
            id = id * 10 + static_cast<uint64_t>(status[at++] - '0');
        if (at == start || id > 0xFFFFFFFFull) return false;
    }
    realUid = static_cast<uint32_t>(ids[0]);
    effectiveUid = static_cast<uint32_t>(ids[1]);
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
        if (!ValidPid(pid)) return false;
        return ReadExeLink(pid, path) || FirstCommandWord(pid, path);
    }
    bool ResolvedExecutablePath(uint32_t pid, std::string& path) override { return ReadExeLink(pid, path); }
    bool OwnerIds(uint32_t pid, uint32_t& realUid, uint32_t& effectiveUid) override {
        return ReadOwnerIds(pid, realUid, effectiveUid);
    }
    bool Environment(uint32_t pid, std::string& block) override {
        return ValidPid(pid) &&
               ReadProcFile("/proc/" + std::to_string(pid) + "/environ", kMaxEnvironmentBytes, block);
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
