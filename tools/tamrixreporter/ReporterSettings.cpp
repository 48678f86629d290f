#include "ReporterSettings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>

namespace TamrixReporter {

bool ReadBoundedFile(const std::string& path, size_t limit, std::string& bytes) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat info {};
    bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && static_cast<size_t>(info.st_size) <= limit;
    if (ok) {
        bytes.resize(static_cast<size_t>(info.st_size));
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t got = read(fd, bytes.data() + done, bytes.size() - done);
            if (got <= 0) break;
            done += static_cast<size_t>(got);
        }
        bytes.resize(done);
    }
    close(fd);
    return ok;
}

bool LoadReporterSettings(const std::string& path, ReporterSettings& settings) {
    std::string text;
    if (!ReadBoundedFile(path, 4096, text)) return false;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("Collector=", 0) != 0) continue;
        std::string value = line.substr(10);
        size_t colon = value.rfind(':');
        if (colon == std::string::npos || colon == 0) return false;
        char* end = nullptr;
        long port = strtol(value.c_str() + colon + 1, &end, 10);
        if (*end != '\0' || port <= 0 || port > 65535) return false;
        settings.host = value.substr(0, colon);
        settings.port = static_cast<unsigned short>(port);
        return true;
    }
    return false;
}

}  // namespace TamrixReporter
