#pragma once
// Md5sum: the digest that the system's md5sum prints for a file (32 lower-case hex characters),
// for tests and benchmarks that check our MD5 against it. "" when md5sum cannot be started,
// fails, or prints less. Header-only, so that a benchmark can use it without the test kit's
// library. Reentrant; the child is reaped before it returns.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>

extern char** environ;

namespace QuorTest {

inline std::string Md5sum(const std::string& path) {
    int fds[2];
    if (pipe(fds) != 0) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addclose(&actions, fds[1]);
    std::string file = path;
    char name[] = "md5sum";
    char* argv[] = {name, file.data(), nullptr};
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, "md5sum", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    std::string out;
    if (rc == 0) {
        char buf[256];
        ssize_t n;
        while ((n = read(fds[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) out.clear();
    }
    close(fds[0]);
    return out.size() >= 32 ? out.substr(0, 32) : std::string();
}

}  // namespace QuorTest
