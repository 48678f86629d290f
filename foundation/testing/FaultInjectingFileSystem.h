#pragma once
// Test helper: file-system calls that fail where a test says so and pass everything else on to
// the calls beneath (the real ones by default). A rule names a kind of call, the path it touches
// (exactly, by how the path ends, or as anything below a folder), which matching call fails (the
// Nth, or every one) and the errno it fails with; a failed call does not reach the system and
// returns -1 (nullptr from FOpen, 0 from FWrite) with errno set. Each rule counts the calls it
// matched and those it failed.
//
// The path of a call on a descriptor (a write, an fsync) is the one the system names for the
// descriptor (links resolved); a name below a folder descriptor is joined to that folder's path,
// so rules name resolved paths (std::filesystem::canonical of the folder). A rename matches
// by its source or its target. Install it through Vorn::ScopedOsContext ({.files = &faults});
// rules may be added and counts read from any thread while the code under test runs.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/FileSystemCalls.h"

namespace QuorTest {

enum class FileCall {
    OpenForWrite,  // open/openat with O_WRONLY, O_RDWR, O_CREAT or O_TRUNC; fopen in a writing mode
    Write,         // write, pwrite, fwrite
    Rename,        // rename, renameat, renameat2
    Sync,          // fsync, fdatasync, syncfs (the path of the descriptor synced)
    Mkdir,         // mkdir, mkdirat
    Unlink,        // unlink, unlinkat (also of a folder)
};

struct PathMatch {
    enum class Kind { kExactly, kEndingWith, kBelow };
    static PathMatch Exactly(std::string path) { return {std::move(path), Kind::kExactly}; }
    static PathMatch EndingWith(std::string suffix) { return {std::move(suffix), Kind::kEndingWith}; }
    // Anything inside the folder (at any depth), not the folder itself.
    static PathMatch Below(std::string folder) { return {std::move(folder) + "/", Kind::kBelow}; }
    bool Matches(const std::string& path) const {
        switch (kind) {
            case Kind::kExactly: return path == text;
            case Kind::kEndingWith:
                return path.size() >= text.size() && path.compare(path.size() - text.size(), text.size(), text) == 0;
            case Kind::kBelow: return path.size() > text.size() && path.compare(0, text.size(), text) == 0;
        }
        return false;
    }
    std::string text;
    Kind kind = Kind::kExactly;
};

class FaultInjectingFileSystem final : public Quor::Platform::IFileSystemCalls {
public:
    static constexpr unsigned kEvery = 0;

    explicit FaultInjectingFileSystem(Quor::Platform::IFileSystemCalls& inner = Quor::Platform::RealFileSystemCalls())
        : m_inner(inner) {}

    // Fails the nth call of kind `call` on a path that `path` matches (counted from 1; kEvery fails
    // them all) with `error`. Returns the rule's number for Matched and Failed.
    size_t Fail(FileCall call, PathMatch path, int error, unsigned nth = 1) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_rules.push_back({call, std::move(path), error, nth, 0, 0});
        return m_rules.size() - 1;
    }
    // The calls rule `rule` matched, and those of them it failed.
    unsigned Matched(size_t rule) const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_rules.at(rule).matched;
    }
    unsigned Failed(size_t rule) const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_rules.at(rule).failed;
    }

    int Open(const char* path, int flags, mode_t mode) override {
        if (IsWriting(flags) && Faulted(FileCall::OpenForWrite, Text(path))) return -1;
        return m_inner.Open(path, flags, mode);
    }
    int OpenAt(int folder, const char* name, int flags, mode_t mode) override {
        if (IsWriting(flags) && Faulted(FileCall::OpenForWrite, Below(folder, name))) return -1;
        return m_inner.OpenAt(folder, name, flags, mode);
    }
    FILE* FOpen(const char* path, const char* mode) override {
        if (mode && std::strpbrk(mode, "wa+") && Faulted(FileCall::OpenForWrite, Text(path))) return nullptr;
        return m_inner.FOpen(path, mode);
    }
    ssize_t Write(int fd, const void* data, size_t size) override {
        if (Faulted(FileCall::Write, OfDescriptor(fd))) return -1;
        return m_inner.Write(fd, data, size);
    }
    ssize_t PWrite(int fd, const void* data, size_t size, off_t offset) override {
        if (Faulted(FileCall::Write, OfDescriptor(fd))) return -1;
        return m_inner.PWrite(fd, data, size, offset);
    }
    size_t FWrite(const void* data, size_t size, size_t count, FILE* stream) override {
        if (Faulted(FileCall::Write, OfDescriptor(stream ? ::fileno(stream) : -1))) return 0;
        return m_inner.FWrite(data, size, count, stream);
    }
    int Rename(const char* from, const char* to) override {
        if (Faulted(FileCall::Rename, Text(from), Text(to))) return -1;
        return m_inner.Rename(from, to);
    }
    int RenameAt(int fromFolder, const char* from, int toFolder, const char* to, unsigned flags) override {
        if (Faulted(FileCall::Rename, Below(fromFolder, from), Below(toFolder, to))) return -1;
        return m_inner.RenameAt(fromFolder, from, toFolder, to, flags);
    }
    int Fsync(int fd) override {
        if (Faulted(FileCall::Sync, OfDescriptor(fd))) return -1;
        return m_inner.Fsync(fd);
    }
    int Fdatasync(int fd) override {
        if (Faulted(FileCall::Sync, OfDescriptor(fd))) return -1;
        return m_inner.Fdatasync(fd);
    }
    int SyncFs(int fd) override {
        if (Faulted(FileCall::Sync, OfDescriptor(fd))) return -1;
        return m_inner.SyncFs(fd);
    }
    int Mkdir(const char* path, mode_t mode) override {
        if (Faulted(FileCall::Mkdir, Text(path))) return -1;
        return m_inner.Mkdir(path, mode);
    }
    int MkdirAt(int folder, const char* name, mode_t mode) override {
        if (Faulted(FileCall::Mkdir, Below(folder, name))) return -1;
        return m_inner.MkdirAt(folder, name, mode);
    }
    int Unlink(const char* path) override {
        if (Faulted(FileCall::Unlink, Text(path))) return -1;
        return m_inner.Unlink(path);
    }
    int UnlinkAt(int folder, const char* name, int flags) override {
        if (Faulted(FileCall::Unlink, Below(folder, name))) return -1;
        return m_inner.UnlinkAt(folder, name, flags);
    }

private:
    struct Rule {
        FileCall call;
        PathMatch path;
        int error;
        unsigned nth;
        unsigned matched;
        unsigned failed;
    };

    static bool IsWriting(int flags) {
        return (flags & O_ACCMODE) != O_RDONLY || (flags & (O_CREAT | O_TRUNC)) != 0;
    }

    static std::string Text(const char* path) { return path ? std::string(path) : std::string(); }

    // The path the system gives a descriptor ("" when it names none).
    static std::string OfDescriptor(int fd) {
        if (fd < 0 && fd != AT_FDCWD) return {};
        const std::string link = fd == AT_FDCWD ? "/proc/self/cwd" : "/proc/self/fd/" + std::to_string(fd);
        const int saved = errno;
        char target[PATH_MAX];
        const ssize_t n = ::readlink(link.c_str(), target, sizeof target);
        errno = saved;
        return n > 0 ? std::string(target, static_cast<size_t>(n)) : std::string();
    }
    static std::string Below(int folder, const char* name) {
        if (!name) return {};
        if (name[0] == '/') return name;
        std::string path = OfDescriptor(folder);
        if (path != "/") path += '/';
        return path + name;
    }

    // True (errno set) when a rule fails this call; counts the matching calls.
    bool Faulted(FileCall call, const std::string& path, const std::string& other = std::string()) {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (Rule& rule : m_rules) {
            if (rule.call != call) continue;
            if (!rule.path.Matches(path) && (other.empty() || !rule.path.Matches(other))) continue;
            ++rule.matched;
            if (rule.nth == kEvery || rule.matched == rule.nth) {
                ++rule.failed;
                errno = rule.error;
                return true;
            }
        }
        return false;
    }

    Quor::Platform::IFileSystemCalls& m_inner;
    mutable std::mutex m_mutex;
    std::vector<Rule> m_rules;
};

}  // namespace QuorTest
