#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/OsContext.h"
#include "remote/process/ChildProcess.h"
#include "remote/process/Process.h"

extern char** environ;

namespace Vorn {

namespace {

constexpr char kLaunchedKey[] = "vorn_launched=";
constexpr char kLaunchedEntry[] = "vorn_launched=true";

// This process's environment, plus "vorn_launched=true" when the key is absent.
std::vector<char*> ChildEnvironment() {
    std::vector<char*> env;
    bool launched = false;
    for (char** e = environ; e && *e; ++e) {
        if (std::strncmp(*e, kLaunchedKey, sizeof kLaunchedKey - 1) == 0) launched = true;
        env.push_back(*e);
    }
    if (!launched) env.push_back(const_cast<char*>(kLaunchedEntry));
    env.push_back(nullptr);
    return env;
}

// Spawn attributes and actions, released on every path.
class SpawnSetup {
public:
    SpawnSetup() {
        m_ok = posix_spawnattr_init(&m_attr) == 0;
        if (!m_ok) return;
        m_haveAttr = true;
        m_ok = posix_spawn_file_actions_init(&m_actions) == 0;
        if (!m_ok) return;
        m_haveActions = true;
        // The program starts with no blocked signals and every signal at its default action,
        // whatever this process ignores or blocks.
        sigset_t none, all;
        sigemptyset(&none);
        sigfillset(&all);
        sigdelset(&all, SIGKILL);
        sigdelset(&all, SIGSTOP);
        m_ok = posix_spawnattr_setsigmask(&m_attr, &none) == 0 &&
               posix_spawnattr_setsigdefault(&m_attr, &all) == 0 &&
               posix_spawnattr_setflags(&m_attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) == 0;
    }
    ~SpawnSetup() {
        if (m_haveActions) posix_spawn_file_actions_destroy(&m_actions);
        if (m_haveAttr) posix_spawnattr_destroy(&m_attr);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    bool ChangeFolder(const char* folder) {
        return m_ok && posix_spawn_file_actions_addchdir_np(&m_actions, folder) == 0;
    }
    // Standard input, output and error of the program on /dev/null.
    bool Silence() {
        for (int fd = 0; fd <= 2; ++fd)
            m_ok = m_ok && posix_spawn_file_actions_addopen(&m_actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0) == 0;
        return m_ok;
    }
    bool ok() const { return m_ok; }
    const posix_spawnattr_t* attr() const { return &m_attr; }
    const posix_spawn_file_actions_t* actions() const { return &m_actions; }

private:
    posix_spawnattr_t m_attr;
    posix_spawn_file_actions_t m_actions;
    bool m_haveAttr = false;
    bool m_haveActions = false;
    bool m_ok = false;
};

}  // namespace

bool MakeFileExecutable(const char* path) {
    struct stat st;
    if (!path || stat(path, &st) != 0) return false;
    if ((st.st_mode & 0555) == 0555) return true;
    return chmod(path, (st.st_mode & 07777) | 0555) == 0;
}

namespace {

bool Create(const char* path, const char* folder, int count, const char* const* arguments, ProcessLaunchRecord* record,
            bool silent) {
    if (count < 0 || (count > 0 && !arguments)) return false;
    if (!path) {
        if (count < 1 || !arguments[0]) return false;
        path = arguments[0];
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path));
    for (int i = 0; i < count; ++i) {
        if (!arguments[i]) return false;
        argv.push_back(const_cast<char*>(arguments[i]));
    }
    argv.push_back(nullptr);

    struct stat st;
    if (stat(path, &st) != 0) return false;
    if ((st.st_mode & 0555) != 0555 && chmod(path, (st.st_mode & 07777) | 0555) != 0) return false;

    SpawnSetup setup;
    if (!setup.ok() || (folder && !setup.ChangeFolder(folder)) || (silent && !setup.Silence())) return false;
    std::vector<char*> env = ChildEnvironment();
    pid_t pid = 0;
    if (Vorn::Os().processStarts.Spawn(&pid, path, setup.actions(), setup.attr(), argv.data(), env.data()) != 0)
        return false;

    // From here the child is watched and collected whatever happens to the record.
    std::shared_ptr<ChildProcess> child = ChildProcess::Adopt(pid);
    if (record) {
        AutoProcessHandle started(new ProcessCell{std::move(child)});
        record->handle.Transfer(started);
        record->pid = static_cast<ProcessId>(pid);
    }
    return true;
}

}  // namespace

bool processCreate(const char* path, const char* folder, int count, const char* const* arguments,
                   ProcessLaunchRecord* record) {
    return Create(path, folder, count, arguments, record, false);
}

bool processCreateSilent(const char* path, const char* folder, int count, const char* const* arguments,
                         ProcessLaunchRecord* record) {
    return Create(path, folder, count, arguments, record, true);
}

}  // namespace Vorn
