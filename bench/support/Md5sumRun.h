#pragma once
// Runs one md5sum process over many files as a benchmark peer (its output discarded). Header-only;
// reentrant; the child is reaped before it returns.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <string>
#include <vector>

extern char** environ;

namespace QuorBench {

// md5sum over the files, run in folder when one is given; true when it exited with 0.
inline bool RunMd5sum(const std::vector<std::string>& files, const std::string& folder = {}) {
    std::vector<std::string> arguments{"md5sum"};
    arguments.insert(arguments.end(), files.begin(), files.end());
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, "md5sum", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace QuorBench
