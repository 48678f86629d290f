// Files and folders of the bounded runtime (see CStdFiles.h).
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "foundation/CStd/CStd.h"
#include "foundation/CStd/CStdCheck.h"
#include "foundation/OsContext.h"
#include "platform/FileCopy.h"
#include "platform/StringBounds.h"

namespace Vorn {

namespace {
constexpr uint_size kPathSize = 1024;
constexpr mode_t kNewFolderMode = 0755;  // the process umask applies on top

// The path with `\` turned into `/`, in the caller's buffer; false (ENAMETOOLONG) when it does
// not fit with its terminator.
bool NativePath(const char* path, char (&out)[kPathSize]) {
    size_t length = ::strnlen(path, kPathSize);
    if (length >= kPathSize) {
        errno = ENAMETOOLONG;
        return false;
    }
    std_get_native_path(out, path, 0);
    return true;
}

bool IsDirectory(const char* path) {
    struct stat st {};
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsRegularFile(const char* path) {
    struct stat st {};
    return stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

// Owns one open folder.
class DirHandle {
public:
    explicit DirHandle(const char* path) : m_dir(opendir(path)) {}
    ~DirHandle() {
        if (m_dir) closedir(m_dir);
    }
    DirHandle(const DirHandle&) = delete;
    DirHandle& operator=(const DirHandle&) = delete;
    DIR* get() const { return m_dir; }

private:
    DIR* m_dir;
};

bool SameFile(const char* a, const char* b) {
    struct stat sa {}, sb {};
    return stat(a, &sa) == 0 && stat(b, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}
}  // namespace

FILE* std_fopen(const char* path, const char* mode) {
    char native[kPathSize];
    if (!NativePath(path, native)) return nullptr;
    return Os().files.FOpen(native, mode);
}

FILE* std_fsopen(const char* path, const char* mode, int) { return std_fopen(path, mode); }

int std_fclose(FILE* file) { return fclose(file); }
size_t std_fread(void* buf, size_t size, size_t count, FILE* file) { return fread(buf, size, count, file); }
size_t std_fwrite(const void* buf, size_t size, size_t count, FILE* file) {
    return Os().files.FWrite(buf, size, count, file);
}

int std_fprintf(FILE* file, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    int n = vfprintf(file, fmt, args);
    va_end(args);
    return n;
}

int std_fseek(FILE* file, int64_t offset, int origin) { return fseeko(file, static_cast<off_t>(offset), origin); }
int64_t std_ftell(FILE* file) { return static_cast<int64_t>(ftello(file)); }
char* std_fgets(char* buf, int size, FILE* file) { return fgets(buf, size, file); }
int std_feof(FILE* file) { return feof(file); }
int std_fflush(FILE* file) { return fflush(file); }
int std_ferror(FILE* file) { return ferror(file); }

int std_access(const char* path, int mode) {
    char native[kPathSize];
    if (!NativePath(path, native)) return -1;
    if (mode != 0 && mode != 2 && mode != 4 && mode != 6) mode = 0;  // anything else: existence
    return access(native, mode);
}

bool std_file_exists(const char* path) { return IsRegularFile(path); }
bool std_dir_exists(const char* path) { return IsDirectory(path); }

bool std_mkdir_tree(const char* path) {
    VORN_CSTD_CHECK(path, "path", nullptr, "bool Vorn::std_mkdir_tree(const char *)");
    if (!path) return false;
    if (!*path) return true;
    size_t length = ::strnlen(path, kPathSize);
    if (length >= kPathSize) {
        errno = ENAMETOOLONG;
        return false;
    }
    char prefix[kPathSize + 1] = "";  // the path and one separator after its last component
    size_t used = 0;
    if (path[0] == '/') prefix[used++] = '/';
    prefix[used] = '\0';

    const char* p = path;
    while (*p) {
        while (*p == '/') ++p;
        const char* end = p;
        while (*end && *end != '/') ++end;
        if (end == p) break;  // trailing separators
        size_t componentLength = static_cast<size_t>(end - p);
        std::memcpy(prefix + used, p, componentLength);
        used += componentLength;
        prefix[used++] = '/';
        prefix[used] = '\0';
        p = end;

        if (IsDirectory(prefix)) continue;
        // Whether the parent admits a new folder is the system's answer (supplementary groups,
        // the superuser); a refusal ends the walk, and no existing folder's mode is ever changed.
        if (Os().files.Mkdir(prefix, kNewFolderMode) != 0 && errno != EEXIST) return false;
        if (!IsDirectory(prefix)) {  // something else holds the name
            errno = ENOTDIR;
            return false;
        }
    }
    return true;
}

bool std_mkdir(const char* path) {
    if (Os().files.Mkdir(path, kNewFolderMode) != 0 && errno != EEXIST) return false;
    return IsDirectory(path);
}

bool std_rmdir(const char* path) { return Os().files.UnlinkAt(AT_FDCWD, path, AT_REMOVEDIR) == 0; }
// As remove() does it: unlink, and for a folder rmdir.
bool std_remove(const char* path) {
    return Os().files.UnlinkAt(AT_FDCWD, path, 0) == 0 ||
           (errno == EISDIR && Os().files.UnlinkAt(AT_FDCWD, path, AT_REMOVEDIR) == 0);
}
bool std_chmod(const char* path, uint32_t mode) { return chmod(path, static_cast<mode_t>(mode)) == 0; }
bool std_chdir(const char* path) { return chdir(path) == 0; }
bool std_move_file(const char* from, const char* to, uint32_t) { return Os().files.Rename(from, to) == 0; }

bool std_copy_file(const char* source, const char* dest, bool failIfExists) {
    if (failIfExists && IsRegularFile(dest)) {
        errno = EEXIST;
        return false;
    }
    char dir[kPathSize];
    if (!std_splitpath(dest, nullptr, 0, dir, sizeof dir, nullptr, 0, nullptr, 0)) return false;
    if (IsDirectory(dir)) {
        if (access(dir, R_OK | W_OK | X_OK) != 0) return false;
    } else if (!std_mkdir_tree(dir)) {
        return false;
    }

    char target[kPathSize];
    if (std::strlen(dest) >= sizeof target) {
        errno = ENAMETOOLONG;
        return false;
    }
    std::strcpy(target, dest);
    if (IsDirectory(dest)) {
        char fname[kPathSize];
        char ext[kPathSize];
        if (!std_splitpath(source, nullptr, 0, nullptr, 0, fname, sizeof fname, ext, sizeof ext))
            return false;
        std_makepath(target, sizeof target, nullptr, dest, fname, ext);
    }

    if (Quor::Platform::CopyFileWithMetadata(source, target)) return true;
    // A target that cannot be written over is removed and the copy tried once more, but never
    // when the source itself is missing or is the target: that would only lose the target.
    int error = errno;
    if (IsRegularFile(target) && IsRegularFile(source) && !SameFile(source, target) &&
        std::remove(target) == 0 && Quor::Platform::CopyFileWithMetadata(source, target))
        return true;
    if (errno == 0) errno = error;
    return false;
}

bool std_file_system_size(const char* path, uint32_t& blockSize, uint64_t& freeBlocks,
                          uint64_t& totalBlocks) {
    struct statvfs st {};
    if (statvfs(path, &st) != 0) return false;
    blockSize = static_cast<uint32_t>(st.f_frsize);
    freeBlocks = st.f_bfree;
    totalBlocks = st.f_blocks;
    return true;
}

bool std_get_dir_listing(const char* path, char*& list) {
    list = nullptr;
    DirHandle dir(path);
    if (!dir.get()) return false;
    size_t capacity = 256;
    char* block = static_cast<char*>(std_malloc(capacity));
    if (!block) return false;
    size_t used = 0;
    for (;;) {
        errno = 0;
        dirent* entry = readdir(dir.get());
        if (!entry) {
            if (errno != 0) {  // a read error: the listing would be incomplete
                std_free(block);
                return false;
            }
            break;
        }
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
        size_t length = std::strlen(name) + 1;
        if (used + length + 1 > capacity) {
            size_t grown = capacity;
            while (used + length + 1 > grown) grown *= 2;
            char* bigger = static_cast<char*>(std_realloc(block, grown));
            if (!bigger) {
                std_free(block);
                return false;
            }
            block = bigger;
            capacity = grown;
        }
        std::memcpy(block + used, name, length);
        used += length;
    }
    block[used] = '\0';  // the empty name that ends the list (the only one for an empty folder)
    list = block;
    return true;
}

void std_free_dir_listing(char* list) { std_free(list); }

int std_errno() { return errno; }

}  // namespace Vorn
