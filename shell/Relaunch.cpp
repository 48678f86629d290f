#include "shell/Relaunch.h"

#include <cstring>
#include <string>

#include "common/Log.h"
#include "foundation/CStd/CStdFiles.h"
#include "foundation/CStd/CStdPaths.h"
#include "remote/process/Process.h"

namespace Quor::Shell {

namespace {

constexpr size_t MAX_FOLDER = 1024;

// Frees a folder listing on every way out.
class Listing {
public:
    ~Listing() { Vorn::std_free_dir_listing(m_List); }
    char*& Get() { return m_List; }

private:
    char* m_List = nullptr;
};

}  // namespace

RelaunchHooks DefaultRelaunchHooks() {
    RelaunchHooks hooks;
    hooks.list = [](const char* folder, char*& list) { return Vorn::std_get_dir_listing(folder, list); };
    hooks.start = [](const char* program, const char* folder) {
        return Vorn::processCreate(program, folder, 0, nullptr, nullptr);
    };
    return hooks;
}

bool RelaunchThroughLauncher(const char* executablePath, const char* bundleName, const char* launcherName) {
    return RelaunchThroughLauncher(executablePath, bundleName, launcherName, DefaultRelaunchHooks());
}

bool RelaunchThroughLauncher(const char* executablePath, const char* bundleName, const char* launcherName,
                             const RelaunchHooks& hooks) {
    QUOR_LOG(Log::VERBOSE, "%s, %s, %s", executablePath ? executablePath : "(null)", bundleName, launcherName);
    if (!executablePath || strstr(executablePath, launcherName)) return false;
    char dir[MAX_FOLDER] = {};
    Vorn::std_splitpath(executablePath, nullptr, 0, dir, sizeof dir, nullptr, 0, nullptr, 0);
    std::string folder = dir;
    while (!folder.empty()) {
        Listing listing;
        if (!hooks.list(folder.c_str(), listing.Get())) return false;
        for (const char* name = listing.Get(); *name; name += strlen(name) + 1) {
            if (strcmp(name, bundleName) != 0) continue;
            const std::string program = folder + "/" + bundleName + "/Contents/MacOS/" + launcherName;
            if (hooks.start(program.c_str(), folder.c_str())) {
                QUOR_LOG(Log::DEBUG, "Started %s", program.c_str());
                return true;
            }
            QUOR_LOG(Log::WARNING, "Could not start %s", program.c_str());
        }
        const size_t slash = folder.rfind('/');
        if (slash == std::string::npos) return false;
        folder.resize(slash);
    }
    return false;
}

}  // namespace Quor::Shell
