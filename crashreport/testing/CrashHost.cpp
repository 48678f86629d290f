// A host for the crash reporter's tests. It registers (quiet, suppress reply, the files "a" and
// "b", an empty description) and then, by its first argument:
//   null       writes through a null pointer
//   stress     writes through a null pointer while another thread allocates and frees
//   recursion  recurses without bound
//   abort, pipe  raises SIGABRT or SIGPIPE and, when it survives, exits with 0
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>

#include "crashreport/Tamrix.h"

// Kept out of line and exported (-rdynamic) so that the report can name it.
extern "C" __attribute__((noinline, no_sanitize("undefined"))) void CrashThroughNullPointer() {
    volatile int* volatile target = nullptr;
    *target = 1;
}

volatile int g_neverReached = -1;

extern "C" __attribute__((noinline)) int RecurseWithoutEnd(int depth) {
    if (depth == g_neverReached) return 0;
    volatile char frame[256];
    frame[0] = static_cast<char>(depth);
    return RecurseWithoutEnd(depth + 1) + frame[0];
}

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    Tamrix::Tamrix reporter("CrashDatabase", "CrashHost", "2.5");
    reporter.setQuietMode(true);
    reporter.setSuppressReply(true);
    reporter.addAdditionalFile("a");
    reporter.addAdditionalFile("b");
    reporter.setDescription("");
    const char* mode = argv[1];
    if (strcmp(mode, "null") == 0) CrashThroughNullPointer();
    if (strcmp(mode, "recursion") == 0) return RecurseWithoutEnd(0);
    if (strcmp(mode, "stress") == 0) {
        std::atomic<bool> started{false};
        std::thread allocator([&started] {
            for (unsigned i = 0;; ++i) {
                auto block = std::make_unique<char[]>(16 + i % 4096);
                block[0] = 1;
                started.store(true);
            }
        });
        while (!started.load()) {
        }
        CrashThroughNullPointer();
        allocator.join();
    }
    if (strcmp(mode, "abort") == 0) raise(SIGABRT);
    if (strcmp(mode, "pipe") == 0) raise(SIGPIPE);
    return 0;
}
