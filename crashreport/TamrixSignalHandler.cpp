#include "crashreport/TamrixSignalHandler.h"

#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <mutex>

#include "crashreport/CrashPlan.h"

namespace Tamrix {

std::atomic<const Tamrix*> tamrixhandler{nullptr};

namespace {

constexpr int kFatalSignals[] = {SIGILL, SIGTRAP, SIGFPE, SIGBUS, SIGSEGV, SIGSYS, SIGXCPU, SIGXFSZ};
constexpr int kMaxFrames = 128;
std::atomic<int> g_reporting{0};

void WriteText(int fd, const char* text) {
    size_t length = strlen(text);
    while (length > 0) {
        ssize_t written = write(fd, text, length);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        text += written;
        length -= static_cast<size_t>(written);
    }
}

void WriteNumber(int fd, long value) {
    char digits[24];
    char* end = digits + sizeof digits;
    char* p = end;
    *--p = '\0';
    bool negative = value < 0;
    unsigned long magnitude = negative ? 0UL - static_cast<unsigned long>(value) : static_cast<unsigned long>(value);
    do {
        *--p = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (negative) *--p = '-';
    WriteText(fd, p);
}

const char* SignalName(int sig) {
    switch (sig) {
    case SIGILL: return "SIGILL";
    case SIGTRAP: return "SIGTRAP";
    case SIGFPE: return "SIGFPE";
    case SIGBUS: return "SIGBUS";
    case SIGSEGV: return "SIGSEGV";
    case SIGSYS: return "SIGSYS";
    case SIGXCPU: return "SIGXCPU";
    case SIGXFSZ: return "SIGXFSZ";
    default: return "signal";
    }
}

void WriteReport(const CrashPlan& plan, int sig) {
    int fd = open(plan.reportPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return;
    WriteText(fd, "Signal:     ");
    WriteNumber(fd, sig);
    WriteText(fd, " (");
    WriteText(fd, SignalName(sig));
    WriteText(fd, ")\nProcess:    ");
    WriteText(fd, plan.executableName.c_str());
    WriteText(fd, " [");
    WriteNumber(fd, getpid());
    WriteText(fd, "]\n\nBacktrace:\n");
    void* frames[kMaxFrames];
    int count = backtrace(frames, kMaxFrames);
    backtrace_symbols_fd(frames, count, fd);
    close(fd);
}

// The kernel's sigaction record (what the raw system call takes).
struct KernelSigaction {
    void (*handler)(int);
    unsigned long flags;
    void (*restorer)();
    uint64_t mask;
};

// The child of _Fork: only raw system calls, since a library wrapper (or a sanitizer's
// interceptor) may wait for a lock that another thread of the parent held at the fork.
[[noreturn]] void RunSenderInChild(const CrashPlan& plan, int statusFd) {
    KernelSigaction dfl{SIG_DFL, 0, nullptr, 0};
    syscall(SYS_rt_sigaction, SIGPIPE, &dfl, nullptr, sizeof(uint64_t));
    syscall(SYS_rt_sigaction, SIGABRT, &dfl, nullptr, sizeof(uint64_t));
    uint64_t none = 0;
    syscall(SYS_rt_sigprocmask, SIG_SETMASK, &none, nullptr, sizeof none);
    syscall(SYS_execve, plan.senderPath.c_str(), plan.argv.data(), environ);
    int code = errno;
    syscall(SYS_write, statusFd, &code, sizeof code);
    syscall(SYS_exit_group, 127);
    for (;;) {
    }
}

// Starts the sender; true once it runs (its execve succeeded).
bool StartSender(const CrashPlan& plan) {
    if (access(plan.senderPath.c_str(), F_OK) != 0) {
        WriteText(STDERR_FILENO, "TamrixFramework: sendCrashReport: TamrixReporter not found: ");
        WriteText(STDERR_FILENO, plan.senderPath.c_str());
        WriteText(STDERR_FILENO, "\n");
    }
    int status[2];
    if (pipe2(status, O_CLOEXEC) != 0) return false;
    pid_t pid = _Fork();
    if (pid == 0) RunSenderInChild(plan, status[1]);
    close(status[1]);
    bool running = false;
    if (pid > 0) {
        int error = 0;
        ssize_t got;
        do {
            got = read(status[0], &error, sizeof error);
        } while (got < 0 && errno == EINTR);
        running = got == 0;  // the pipe closed on execve
    }
    close(status[0]);
    return running;
}

}  // namespace

extern "C" void TamrixSignalHandler(int sig) {
    if (g_reporting.exchange(1) != 0) _exit(255);
    const CrashPlan* plan = CurrentCrashPlan();
    if (plan != nullptr) {
        WriteReport(*plan, sig);
        WriteText(STDERR_FILENO, "TamrixFramework: getCrashReport: ");
        WriteText(STDERR_FILENO, plan->reportPath.c_str());
        WriteText(STDERR_FILENO, "\n");
        WriteText(STDERR_FILENO, StartSender(*plan) ? "TamrixFramework: sendCrashReport: TamrixReporter is running\n"
                                                    : "TamrixFramework: sendCrashReport: TamrixReporter failed to launch\n");
    }
    WriteText(STDERR_FILENO, "TamrixFramework: signal: ");
    WriteNumber(STDERR_FILENO, sig);
    WriteText(STDERR_FILENO, "\n");
    _exit(255);
}

void InstallAlternateSignalStack() {
    long minimum = sysconf(_SC_SIGSTKSZ);
    size_t size = static_cast<size_t>(minimum > 0 ? minimum : 0) + 64 * 1024;
    void* memory = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) return;
    stack_t stack{};
    stack.ss_sp = memory;
    stack.ss_size = size;
    if (sigaltstack(&stack, nullptr) != 0) munmap(memory, size);
}

void InstallTamrixSignalHandlers() {
    static std::once_flag once;
    std::call_once(once, [] {
        // Load the unwinder now: its first use may allocate, which the handler must not do.
        void* frames[4];
        (void)backtrace(frames, 4);
        InstallAlternateSignalStack();
        struct sigaction action {};
        action.sa_handler = TamrixSignalHandler;
        // SA_NODEFER: a fault inside the handler re-enters it and ends the process at once.
        action.sa_flags = SA_ONSTACK | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        for (int sig : kFatalSignals) sigaction(sig, &action, nullptr);
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigaction(SIGABRT, &ignore, nullptr);
        sigaction(SIGPIPE, &ignore, nullptr);
    });
}

}  // namespace Tamrix
