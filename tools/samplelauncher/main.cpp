// KivLauncher (sample): stands in for the game launcher that the kernel starts after an update.
// It prints one line on its standard output and exits with 0:
//     KivLauncher: release <a.b.c.d> in <working folder>, arguments: "<a>" "<b>" (or "none")
// The release is read from its own path (.../releases/<a.b.c.d>/deploy/...), "unknown" outside
// an installed release.
#include <limits.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/ExecutablePath.h"

namespace {

std::string ReleaseOf(const std::string& path) {
    const std::string marker = "/releases/";
    const size_t at = path.rfind(marker);
    if (at == std::string::npos) return "unknown";
    const size_t start = at + marker.size();
    const size_t end = path.find('/', start);
    if (end == std::string::npos || end == start) return "unknown";
    return path.substr(start, end - start);
}

}  // namespace

int main(int argc, char** argv) {
    char self[PATH_MAX] = "";
    char folder[PATH_MAX] = "";
    Quor::Platform::GetExecutablePath(self, sizeof self);
    if (!getcwd(folder, sizeof folder)) std::snprintf(folder, sizeof folder, "(unknown)");
    std::string line = "KivLauncher: release " + ReleaseOf(self) + " in " + folder + ", arguments:";
    if (argc < 2) line += " none";
    for (int i = 1; i < argc; ++i) line += std::string(" \"") + argv[i] + "\"";
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    return 0;
}
