#include "crashreport/BundlePaths.h"

#include <sys/stat.h>

#include <cstdlib>

#include "platform/ExecutablePath.h"

namespace Tamrix {
namespace {

std::string ExecutablePath() {
    char buffer[4096];
    if (!Quor::Platform::GetExecutablePath(buffer, sizeof buffer)) return {};
    return buffer;
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

void MakeFolders(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        mkdir(path.substr(0, slash).c_str(), 0755);
    mkdir(path.c_str(), 0755);
}

}  // namespace

std::string MainBundlePath() {
    std::string path = ExecutablePath();
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {};
    std::string folder = path.substr(0, slash);
    const std::string inBundle = "/Contents/MacOS";
    if (EndsWith(folder, inBundle)) folder.resize(folder.size() - inBundle.size());
    return folder;
}

std::string ExecutableName() {
    std::string path = ExecutablePath();
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string SenderPathInBundle(const std::string& bundlePath) {
    return bundlePath +
           "/Contents/Frameworks/Tamrix.framework/Versions/A/TamrixReporter.app/Contents/MacOS/TamrixReporter";
}

std::string CrashReportFolder() {
    const char* home = getenv("HOME");
    if (home == nullptr || *home == '\0') return {};
    std::string folder = std::string(home) + "/Library/Logs/CrashReporter";
    MakeFolders(folder);
    return folder + "/";
}

}  // namespace Tamrix
