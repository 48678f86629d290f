#pragma once
// The search for the launcher when the program was not started by it: the executable's folder and
// each ancestor, nearest first, are listed for an entry named exactly bundleName; the first whose
// {folder}/{bundleName}/Contents/MacOS/{launcherName} starts (working folder: that folder, no
// arguments) ends the search. No search when the executable's path holds launcherName.
//
// No state; the default hooks list folders and start programs through the process helpers.
#include <functional>

namespace Quor::Shell {

struct RelaunchHooks {
    // Lists a folder as std_get_dir_listing does (freed with std_free_dir_listing).
    std::function<bool(const char* folder, char*& list)> list;
    std::function<bool(const char* program, const char* folder)> start;
};

RelaunchHooks DefaultRelaunchHooks();

// True when a launcher was started.
bool RelaunchThroughLauncher(const char* executablePath, const char* bundleName, const char* launcherName);
bool RelaunchThroughLauncher(const char* executablePath, const char* bundleName, const char* launcherName,
                             const RelaunchHooks& hooks);

}  // namespace Quor::Shell
