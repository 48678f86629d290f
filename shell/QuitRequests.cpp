#include "shell/QuitRequests.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "common/Log.h"
#include "platform/QuitRequest.h"
#include "shell/AppDelegate.h"
#include "shell/Application.h"
#include "shell/ShellState.h"

namespace Quor::Shell {

namespace {

int g_WriteEnd = -1;

void OnSignal(int signal) {
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    ssize_t ignored = write(g_WriteEnd, &number, 1);
    (void)ignored;
    errno = saved;
}

// Ends the process as the signal's default action does.
[[noreturn]] void EndBySignal(int signal) {
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    pthread_kill(pthread_self(), signal);
    _exit(128 + signal);
}

void Watch(int readEnd) {
    for (;;) {
        unsigned char number = 0;
        const ssize_t n = read(readEnd, &number, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        HandleQuitRequest(number);
    }
}

}  // namespace

void HandleQuitRequest(int signal) {
    QUOR_LOG(Log::USER, "Quit requested (signal %d)", signal);
    // Work that runs while the main window is still on screen (the self-update) gives up at once.
    Platform::RaiseQuitRequest();
    AppDelegate* delegate = App().Delegate();
    int answer = TERMINATE_NOW;
    if (delegate)
        answer = delegate->ApplicationShouldTerminate();
    else
        Shell().running = false;
    if (answer == TERMINATE_NOW) EndBySignal(signal);
}

void StartQuitRequestWatch() {
    static const bool started = [] {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0) {
            QUOR_LOG(Log::ERROR, "No pipe for quit requests: errno %d", errno);
            return false;
        }
        g_WriteEnd = ends[1];
        fcntl(g_WriteEnd, F_SETFL, O_NONBLOCK);
        std::thread(Watch, ends[0]).detach();
        struct sigaction action = {};
        action.sa_handler = OnSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGINT, &action, nullptr);
        sigaction(SIGTERM, &action, nullptr);
        return true;
    }();
    (void)started;
}

}  // namespace Quor::Shell
