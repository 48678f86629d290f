#include "kernel/Checksum.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "common/LocalRootFolder.h"
#include "common/Log.h"
#include "common/UniqueFile.h"
#include "foundation/OsContext.h"
#include "remote/MD5.h"
#include "remote/MD5Helper.h"

namespace Quor::Orvane::Checksum {

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

std::string WorkingFolder() {
    std::vector<char> buffer(4096);
    if (!getcwd(buffer.data(), buffer.size())) return std::string();
    return buffer.data();
}

void WriteLine(FILE* report, const std::string& line) {
    std::fputs(line.c_str(), report);
    std::fputc('\n', report);
    std::fflush(report);
}

// The names in one folder, in name order; false when the folder cannot be opened (error set).
bool ListFolder(const std::string& folder, std::vector<std::string>& names, bool& listed) {
    std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
    if (!dir) return false;
    listed = true;
    errno = 0;
    while (dirent* entry = readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
        errno = 0;
    }
    if (errno != 0) listed = false;
    std::sort(names.begin(), names.end());
    return true;
}

}  // namespace

HRESULT ChecksumAllFilesInQuorDirectories() {
    const std::string cwd = WorkingFolder();
    const std::string reportPath = cwd + "/checksums.txt";
    const int fd = Vorn::Os().files.Open(reportPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    Common::UniqueFile report(fd >= 0 ? fdopen(fd, "w") : nullptr);
    struct stat reportStat {};
    if (!report.get() || fstat(fd, &reportStat) != 0 || !S_ISREG(reportStat.st_mode)) {
        if (fd >= 0 && !report.get()) close(fd);
        if (errno == 0) errno = EINVAL;
        HRESULT hr = Log::Internal::LogGetLastError(__PRETTY_FUNCTION__);
        if (FAILED(hr)) QUOR_LOG(Log::ERROR, "Failed to open checksum file \"%schecksums.txt\" for output.", (cwd + "/").c_str());
        return hr;
    }

    const std::string rootText = Common::LocalRootFolder::Get();
    std::string root = rootText;
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    WriteLine(report.get(), "Base Directory: " + rootText);

    std::vector<std::string> work{root};
    while (!work.empty()) {
        const std::string folder = work.back();
        work.pop_back();
        const std::string relative = folder.substr(root.size());
        std::vector<std::string> names;
        bool listed = false;
        if (!ListFolder(folder, names, listed)) {
            QUOR_LOG(Log::ERROR, "Failed to change to \"%s\" while checksumming files.", folder.c_str());
            WriteLine(report.get(), "ERR: Failed to change to directory \"" + folder + "\"");
            continue;
        }
        if (!listed) {
            QUOR_LOG(Log::ERROR, "Failed to enumerate contents of folder while checksumming files.");
            WriteLine(report.get(), "ERR: Failed to enumerate directory contents of \"" + folder + "\"");
        }
        for (const std::string& name : names) {
            const std::string path = folder + "/" + name;
            struct stat link {};
            if (lstat(path.c_str(), &link) != 0) continue;  // gone since the listing
            if (link.st_dev == reportStat.st_dev && link.st_ino == reportStat.st_ino) continue;
            if (S_ISDIR(link.st_mode)) {
                work.push_back(path);
                continue;
            }
            struct stat target {};
            const bool sized = stat(path.c_str(), &target) == 0;
            if (sized && S_ISDIR(target.st_mode)) continue;  // a link to a folder is not followed
            std::string line = relative + "/" + name + "\t";
            line += sized ? std::to_string(static_cast<unsigned long long>(target.st_size)) + " bytes"
                          : std::string("FILESIZE FAILURE");
            line += "\t";
            ::MD5::DIGEST digest{};
            std::string hex;
            if (sized && S_ISREG(target.st_mode) && SUCCEEDED(Common::MD5Helper::ComputeMD5(path, digest))) {
                ::MD5::ToString(digest, hex);
                line += hex;
            } else {
                line += "MD5 HASH FAILURE";
            }
            WriteLine(report.get(), line);
        }
    }
    report.Close();
    return S_OK;
}

}  // namespace Quor::Orvane::Checksum
