#pragma once
// How the process starts a child: posix_spawn behind one virtual call.
//
// ProcessStarts() answers the starter in use: the real one (RealProcessStarts, which only
// forwards; result as posix_spawn returns it), unless a test installed its own with
// SetProcessStartsForTests (null restores the real one). Every member may be called from any
// thread; installing is for a test's own thread, before the code under test runs.
#include <spawn.h>
#include <sys/types.h>

namespace Quor::Platform {

class IProcessStarts {
public:
    virtual ~IProcessStarts() = default;
    // posix_spawn: 0 with *pid set, or an errno value.
    virtual int Spawn(pid_t* pid, const char* path, const posix_spawn_file_actions_t* actions,
                      const posix_spawnattr_t* attributes, char* const argv[], char* const envp[]) = 0;
};

IProcessStarts& ProcessStarts();
IProcessStarts& RealProcessStarts();
void SetProcessStartsForTests(IProcessStarts* starts);

}  // namespace Quor::Platform
