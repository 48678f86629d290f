#include "platform/FileSystemCalls.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>

namespace Quor::Platform {

namespace {

class SystemFileSystemCalls final : public IFileSystemCalls {
public:
    int Open(const char* path, int flags, mode_t mode) override { return ::open(path, flags, mode); }
    int OpenAt(int folder, const char* name, int flags, mode_t mode) override {
        return ::openat(folder, name, flags, mode);
    }
    FILE* FOpen(const char* path, const char* mode) override { return ::fopen(path, mode); }
    ssize_t Write(int fd, const void* data, size_t size) override { return ::write(fd, data, size); }
    ssize_t PWrite(int fd, const void* data, size_t size, off_t offset) override {
        return ::pwrite(fd, data, size, offset);
    }
    size_t FWrite(const void* data, size_t size, size_t count, FILE* stream) override {
        return ::fwrite(data, size, count, stream);
    }
    int Rename(const char* from, const char* to) override { return ::rename(from, to); }
    int RenameAt(int fromFolder, const char* from, int toFolder, const char* to, unsigned flags) override {
        return flags == 0 ? ::renameat(fromFolder, from, toFolder, to) : ::renameat2(fromFolder, from, toFolder, to, flags);
    }
    int Fsync(int fd) override { return ::fsync(fd); }
    int Fdatasync(int fd) override { return ::fdatasync(fd); }
    int SyncFs(int fd) override { return ::syncfs(fd); }
    int Mkdir(const char* path, mode_t mode) override { return ::mkdir(path, mode); }
    int MkdirAt(int folder, const char* name, mode_t mode) override { return ::mkdirat(folder, name, mode); }
    int Unlink(const char* path) override { return ::unlink(path); }
    int UnlinkAt(int folder, const char* name, int flags) override { return ::unlinkat(folder, name, flags); }
};

// Never destroyed: the log writes its last lines (and moves its files) while the process's
// static objects are being destroyed, in an order no file can rely on.
SystemFileSystemCalls& System() {
    static SystemFileSystemCalls* const calls = new SystemFileSystemCalls;
    return *calls;
}
std::atomic<IFileSystemCalls*> g_installed{nullptr};

}  // namespace

IFileSystemCalls& RealFileSystemCalls() { return System(); }

IFileSystemCalls& FileSystemCalls() {
    IFileSystemCalls* calls = g_installed.load(std::memory_order_acquire);
    return calls ? *calls : System();
}

void SetFileSystemCallsForTests(IFileSystemCalls* calls) { g_installed.store(calls, std::memory_order_release); }

}  // namespace Quor::Platform
