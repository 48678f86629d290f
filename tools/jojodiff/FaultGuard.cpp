#include "tools/jojodiff/FaultGuard.h"

#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstring>

namespace JojoDiff::FaultGuard {

namespace {

struct Range {
    uintptr_t begin;
    uintptr_t end;
    int exitCode;
};

constexpr int kMaxRanges = 4;
Range g_ranges[kMaxRanges];
volatile sig_atomic_t g_defaultExitCode = 1;
char g_cleanupPath[4096];
volatile sig_atomic_t g_haveCleanupPath = 0;

void OnBusError(int, siginfo_t* info, void*) {
    int code = g_defaultExitCode;
    const auto address = reinterpret_cast<uintptr_t>(info ? info->si_addr : nullptr);
    for (const Range& r : g_ranges)
        if (r.begin != r.end && address >= r.begin && address < r.end) code = r.exitCode;
    if (g_haveCleanupPath) unlink(g_cleanupPath);
    _exit(code);
}

void OnTermination(int signal) {
    if (g_haveCleanupPath) unlink(g_cleanupPath);
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    raise(signal);  // delivered when the handler returns: the program ends by the signal
}

constexpr int kTerminationSignals[] = {SIGTERM, SIGINT, SIGHUP};

void TerminationSet(sigset_t& set) {
    sigemptyset(&set);
    for (int s : kTerminationSignals) sigaddset(&set, s);
}

}  // namespace

void Install(int defaultExitCode) {
    g_defaultExitCode = defaultExitCode;
    for (Range& r : g_ranges) r.begin = r.end = 0;
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_sigaction = OnBusError;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    sigaction(SIGBUS, &action, nullptr);

    struct sigaction termination;
    std::memset(&termination, 0, sizeof termination);
    termination.sa_handler = OnTermination;
    TerminationSet(termination.sa_mask);
    for (int s : kTerminationSignals) {
        struct sigaction previous;
        // A signal ignored by whoever started us stays ignored.
        if (sigaction(s, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
        sigaction(s, &termination, nullptr);
    }
}

SignalBlock::SignalBlock() {
    sigset_t set;
    TerminationSet(set);
    sigprocmask(SIG_BLOCK, &set, &m_previous);
}

SignalBlock::~SignalBlock() { sigprocmask(SIG_SETMASK, &m_previous, nullptr); }

void Watch(const void* begin, size_t size, int exitCode) {
    if (!begin || size == 0) return;
    for (Range& r : g_ranges) {
        if (r.begin == r.end) {
            r.exitCode = exitCode;
            r.end = reinterpret_cast<uintptr_t>(begin) + size;
            r.begin = reinterpret_cast<uintptr_t>(begin);
            return;
        }
    }
}

void Unwatch(const void* begin) {
    for (Range& r : g_ranges)
        if (r.begin == reinterpret_cast<uintptr_t>(begin)) r.begin = r.end = 0;
}

void SetCleanupPath(const char* path) {
    g_haveCleanupPath = 0;
    if (!path || std::strlen(path) >= sizeof g_cleanupPath) return;
    std::strcpy(g_cleanupPath, path);
    g_haveCleanupPath = 1;
}

}  // namespace JojoDiff::FaultGuard
