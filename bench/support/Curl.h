#pragma once
// Runs the curl program as a benchmark peer. Header-only; reentrant.
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <string>
#include <vector>

extern char** environ;

namespace QuorBench {

// Runs curl with the arguments; true when it exited with 0.
inline bool RunCurl(std::vector<std::string> arguments) {
    std::vector<char*> argv;
    std::string name = "curl";
    argv.push_back(name.data());
    for (auto& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, "curl", nullptr, nullptr, argv.data(), environ) != 0) return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace QuorBench
