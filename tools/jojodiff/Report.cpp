#include "tools/jojodiff/Report.h"

#include <cstdio>

namespace JojoDiff {

int Fail(const char* program, int exitCode, const char* what, const char* path, const char* reason) {
    std::fprintf(stderr, "%s: %s", program, what);
    if (path && *path) std::fprintf(stderr, " %s", path);
    if (reason && *reason) std::fprintf(stderr, ": %s", reason);
    std::fprintf(stderr, "\n");
    return exitCode;
}

}  // namespace JojoDiff
