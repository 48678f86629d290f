// The crash reporter's preferences: a key file "com.apple.CrashReporter" of "key=value" lines in
// {HOME}/Library/Preferences, rewritten whole through a temporary file and a rename.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>

#include "crashreport/Tamrix.h"
#include "platform/SmallFile.h"

namespace Tamrix {
namespace {

constexpr size_t kMaxPreferencesBytes = 64 * 1024;

std::string PreferencesPath() {
    const char* home = getenv("HOME");
    if (home == nullptr || *home == '\0') return {};
    return std::string(home) + "/Library/Preferences/com.apple.CrashReporter";
}

std::string ReadPreferences(const std::string& path) {
    std::string bytes;
    Quor::Platform::ReadSmallRegularFile(path, kMaxPreferencesBytes, bytes);
    return bytes;
}

}  // namespace

std::string Tamrix::crashReporterDialogType() {
    std::istringstream lines(ReadPreferences(PreferencesPath()));
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("DialogType=", 0) == 0) return line.substr(11);
    return {};
}

bool Tamrix::setCrashReporterDialogType(const std::string& value) {
    std::string path = PreferencesPath();
    if (path.empty() || value.find('\n') != std::string::npos) return false;
    std::string folder = path.substr(0, path.rfind('/'));
    std::string library = folder.substr(0, folder.rfind('/'));
    mkdir(library.c_str(), 0755);
    mkdir(folder.c_str(), 0755);
    std::istringstream lines(ReadPreferences(path));
    std::string kept;
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("DialogType=", 0) != 0) kept += line + "\n";
    kept += "DialogType=" + value + "\n";
    std::string temporary = path + ".XXXXXX";
    int fd = mkstemp(temporary.data());
    if (fd < 0) return false;
    bool written = write(fd, kept.data(), kept.size()) == static_cast<ssize_t>(kept.size());
    written = close(fd) == 0 && written;
    if (!written || rename(temporary.c_str(), path.c_str()) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace Tamrix
