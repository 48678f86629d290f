#pragma once
// The system calls through which the process changes the disk or opens files for writing: thin
// virtuals over open/openat, fopen, write/pwrite/fwrite, rename/renameat2, fsync/fdatasync/syncfs,
// mkdir/mkdirat and unlink/unlinkat.
//
// FileSystemCalls() answers the calls in use: the real ones (RealFileSystemCalls, which only
// forward, results and errno exactly as the system left them), unless a test installed its own
// with SetFileSystemCallsForTests (null restores the real ones). Every member may be called from
// any thread; the real calls keep no state. Installing is for a test's own thread, before the code
// under test runs, and the installed calls outlive every use.
#include <sys/types.h>

#include <cstddef>
#include <cstdio>

namespace Quor::Platform {

class IFileSystemCalls {
public:
    virtual ~IFileSystemCalls() = default;
    virtual int Open(const char* path, int flags, mode_t mode) = 0;
    virtual int OpenAt(int folder, const char* name, int flags, mode_t mode) = 0;
    virtual FILE* FOpen(const char* path, const char* mode) = 0;
    virtual ssize_t Write(int fd, const void* data, size_t size) = 0;
    virtual ssize_t PWrite(int fd, const void* data, size_t size, off_t offset) = 0;
    virtual size_t FWrite(const void* data, size_t size, size_t count, FILE* stream) = 0;
    virtual int Rename(const char* from, const char* to) = 0;
    // renameat2 (flags 0 is renameat).
    virtual int RenameAt(int fromFolder, const char* from, int toFolder, const char* to, unsigned flags) = 0;
    virtual int Fsync(int fd) = 0;
    virtual int Fdatasync(int fd) = 0;
    // syncfs: every file of the file system that holds fd.
    virtual int SyncFs(int fd) = 0;
    virtual int Mkdir(const char* path, mode_t mode) = 0;
    virtual int MkdirAt(int folder, const char* name, mode_t mode) = 0;
    virtual int Unlink(const char* path) = 0;
    virtual int UnlinkAt(int folder, const char* name, int flags) = 0;
};

IFileSystemCalls& FileSystemCalls();
IFileSystemCalls& RealFileSystemCalls();
void SetFileSystemCallsForTests(IFileSystemCalls* calls);

}  // namespace Quor::Platform
