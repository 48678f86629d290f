#include "tools/tamrixreporter/ReporterSettings.h"

#include <cstdlib>
#include <sstream>

#include "platform/SmallFile.h"

namespace TamrixReporter {

bool LoadReporterSettings(const std::string& path, ReporterSettings& settings) {
    std::string text;
    if (!Quor::Platform::ReadSmallRegularFile(path, 4096, text)) return false;
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
