#include "platform/ProcessStarts.h"

#include <atomic>

namespace Quor::Platform {

namespace {

class SystemProcessStarts final : public IProcessStarts {
public:
    int Spawn(pid_t* pid, const char* path, const posix_spawn_file_actions_t* actions,
              const posix_spawnattr_t* attributes, char* const argv[], char* const envp[]) override {
        return ::posix_spawn(pid, path, actions, attributes, argv, envp);
    }
};

SystemProcessStarts g_system;
std::atomic<IProcessStarts*> g_installed{nullptr};

}  // namespace

IProcessStarts& RealProcessStarts() { return g_system; }

IProcessStarts& ProcessStarts() {
    IProcessStarts* starts = g_installed.load(std::memory_order_acquire);
    return starts ? *starts : g_system;
}

void SetProcessStartsForTests(IProcessStarts* starts) { g_installed.store(starts, std::memory_order_release); }

}  // namespace Quor::Platform
