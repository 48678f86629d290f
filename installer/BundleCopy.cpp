#include "installer/BundleCopy.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/FileCopy.h"

namespace Installer {
namespace {

namespace fs = std::filesystem;

bool CopyTree(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    for (fs::directory_iterator it(from, ec), end; !ec && it != end; it.increment(ec)) {
        fs::path target = to / it->path().filename();
        fs::file_status status = it->symlink_status(ec);
        if (ec) return false;
        if (fs::is_symlink(status)) {
            fs::path link = fs::read_symlink(it->path(), ec);
            if (ec || symlink(link.c_str(), target.c_str()) != 0) return false;
        } else if (fs::is_directory(status)) {
            if (mkdir(target.c_str(), 0755) != 0 || !CopyTree(it->path(), target)) return false;
        } else if (fs::is_regular_file(status)) {
            if (!Quor::Platform::CopyFileWithMetadata(it->path().c_str(), target.c_str())) return false;
        } else {
            return false;
        }
    }
    return !ec;
}

}  // namespace

bool CopyBundle(const std::string& source, const std::string& destination) {
    struct stat info {};
    if (stat(source.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
    fs::path target(destination);
    std::string temporary = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
    if (mkdtemp(temporary.data()) == nullptr) return false;
    chmod(temporary.c_str(), 0755);
    bool copied = CopyTree(source, temporary) &&
                  renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, destination.c_str(), RENAME_NOREPLACE) == 0;
    if (!copied) {
        std::error_code ec;
        fs::remove_all(temporary, ec);
    }
    return copied;
}

}  // namespace Installer
