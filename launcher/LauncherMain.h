#pragma once
// The launcher program of the game bundle ("Play Kindrel.app/Contents/MacOS/OrvaneLauncher"):
// starts the kernel of the install tree below its base folder with "updateandrun kiv_launcher
// KivLauncher.app" and returns at once, without waiting for it.
//
// The base folder is the one after "-path" (any case, shorter than 1024 characters), otherwise
// the folder that holds the launcher's bundle. Returns 0 once the kernel was started; when it
// cannot be started, says so on stderr and returns 255.
namespace Launcher {

int LauncherMain(int argc, const char* const* argv);

}  // namespace Launcher
