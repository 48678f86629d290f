#include "common/FolderExposure.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <memory>

namespace Quor::Common {

namespace {

bool OthersMayChange(const struct stat& status) {
    if (status.st_uid != 0 && status.st_uid != ::geteuid()) return true;
    return (status.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (status.st_mode & S_ISVTX) == 0;
}

}  // namespace

std::string FolderWritableByOthers(const std::string& path) {
    if (path.empty() || path[0] != '/') return {};
    // The folders the system walks through: the resolved path, then each parent up to "/".
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr), &std::free);
    std::string folder = resolved ? resolved.get() : path;
    for (;;) {
        struct stat status {};
        if (::lstat(folder.c_str(), &status) == 0 && OthersMayChange(status)) return folder;
        if (folder == "/") return {};
        const size_t slash = folder.find_last_of('/');
        folder = slash == 0 || slash == std::string::npos ? "/" : folder.substr(0, slash);
    }
}

}  // namespace Quor::Common
