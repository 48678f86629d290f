#pragma once
// The sender's settings: "TamrixReporter.cfg" beside its executable, lines "key=value"; the key
// "Collector" names the collector as host:port. A regular file of at most 4 KiB; false when it
// is missing, unreadable or names no valid collector. Pure apart from reading the file.
#include <string>

namespace TamrixReporter {

struct ReporterSettings {
    std::string host;
    unsigned short port = 0;
};

bool LoadReporterSettings(const std::string& path, ReporterSettings& settings);

}  // namespace TamrixReporter
