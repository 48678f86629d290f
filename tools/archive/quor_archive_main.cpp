// quor-archive: see ArchiveTool.h.
#include <iostream>
#include <string>
#include <vector>

#include "common/Log.h"
#include "tools/archive/ArchiveTool.h"

int main(int argc, char** argv) {
    // The tool reports in its own words; the system's log lines only with QUOR_ARCHIVE_LOG set.
    if (!std::getenv("QUOR_ARCHIVE_LOG")) Quor::Log::SetLogLevel(Quor::Log::USER);
    std::vector<std::string> args(argv + 1, argv + argc);
    return Quor::Tools::RunArchiveTool(args, std::cout, std::cerr);
}
