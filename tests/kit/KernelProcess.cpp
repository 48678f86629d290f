#include "tests/kit/KernelProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace QuorTest {

KernelProcess::KernelProcess(const std::string& program, const std::string& folder) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    char* const argv[] = {const_cast<char*>(program.c_str()), nullptr};
    if (posix_spawn(&m_Pid, program.c_str(), &actions, nullptr, argv, environ) != 0) m_Pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    m_Out = out[0];
}

KernelProcess::~KernelProcess() {
    if (m_Pid > 0) {
        ::kill(m_Pid, SIGKILL);
        Wait();
    }
    if (m_Out >= 0) ::close(m_Out);
}

bool KernelProcess::WaitReady() {
    std::string text;
    while (text.find("ready\n") == std::string::npos) {
        pollfd p{m_Out, POLLIN, 0};
        char buffer[64];
        if (::poll(&p, 1, 20000) <= 0) return false;
        const ssize_t n = ::read(m_Out, buffer, sizeof buffer);
        if (n <= 0) return false;
        text.append(buffer, static_cast<size_t>(n));
    }
    return true;
}

void KernelProcess::Signal(int signal) {
    if (m_Pid > 0) ::kill(m_Pid, signal);
}

int KernelProcess::Wait() {
    int status = 0;
    if (m_Pid <= 0 || ::waitpid(m_Pid, &status, 0) != m_Pid) return -1;
    m_Pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace QuorTest
