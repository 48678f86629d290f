#include "foundation/FileSystem/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "foundation/CStd/CStdPaths.h"
#include "foundation/CStd/CStdStrings.h"
#include "foundation/FileSystem/File.h"

namespace Vorn::FileSystem {

namespace {

constexpr size_t kPatternBuffer = 512;

struct DirCloser {
    void operator()(DIR* d) const { closedir(d); }
};

}  // namespace

bool CreateAndCloseFile(const char* path) {
    return static_cast<bool>(File::Create(path, eFileAccessWrite, eFileShareNone, eFileOpenDefault, eFileFlagsNone));
}

bool GetFileCreatedTimeUTC(const char* path, uint64_t& time) {
    struct statx st;
    if (!path || statx(AT_FDCWD, path, 0, STATX_BTIME | STATX_MTIME, &st) != 0) return false;
    const statx_timestamp& t = (st.stx_mask & STATX_BTIME) ? st.stx_btime : st.stx_mtime;
    if (t.tv_sec < 0) return false;
    time = static_cast<uint64_t>(t.tv_sec);
    return true;
}

bool GetFileModifiedTimeUTC(const char* path, uint64_t& time) {
    struct stat st;
    if (!path || stat(path, &st) != 0 || st.st_mtime < 0) return false;
    time = static_cast<uint64_t>(st.st_mtime);
    return true;
}

bool FindFiles(const char* pattern, std::vector<FindFileResult>& results) {
    char buffer[kPatternBuffer];
    std_strncpy(buffer, sizeof buffer, pattern ? pattern : "", TRUNCATE);

    std::string folder = "./";
    const char* spec = buffer;
    const char* slash = strrchr(buffer, '/');
    if (strlen(buffer) >= 3 && slash) {
        folder.assign(buffer, static_cast<size_t>(slash - buffer));
        spec = slash + 1;
    }

    std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
    if (!dir) return false;
    const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    while (dirent* entry = readdir(dir.get())) {
        // Matching first spares a stat of every entry that is not asked for.
        if (!std_path_match_spec(entry->d_name, spec)) continue;
        const std::string path = prefix + entry->d_name;
        struct stat st;
        if (stat(path.c_str(), &st) != 0) continue;  // e.g. a dangling symbolic link
        bool isDirectory;
        if (entry->d_type != DT_UNKNOWN) {
            isDirectory = entry->d_type == DT_DIR;
        } else {
            // The file system gave no type: ask without following a symbolic link.
            struct stat own;
            isDirectory = lstat(path.c_str(), &own) == 0 && S_ISDIR(own.st_mode);
        }
        results.push_back({entry->d_name, isDirectory});
    }
    return true;
}

unsigned GetAbsolutePath(const char* path, char* buffer, unsigned bufferSize) {
    if (!path) return 0;
    std::unique_ptr<char, decltype(&free)> resolved(realpath(path, nullptr), &free);
    if (!resolved) return 0;
    const size_t length = strlen(resolved.get()) + 1;
    if (length > 0xFFFFFFFFu) return 0;
    if (buffer && length <= bufferSize) memcpy(buffer, resolved.get(), length);
    return static_cast<unsigned>(length);
}

}  // namespace Vorn::FileSystem
