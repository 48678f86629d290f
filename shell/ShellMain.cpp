#include "shell/ShellMain.h"

#include "shell/Application.h"
#include "shell/KernelServices.h"
#include "shell/MouseAcceleration.h"
#include "shell/QuitRequests.h"

namespace Quor::Shell {

int ShellMain(int argc, char** argv, GameMainFunction gameMain, QuitRequestFunction gameHandlesQuit) {
    App();
    RestoreMouseAcceleration();
    InstallKernelServices();
    // A quit request may arrive until the process ends, so the delegate is never destroyed.
    static AppDelegate* const delegate = new AppDelegate(gameMain, gameHandlesQuit);
    delegate->SetArguments(argc, argv);
    App().SetDelegate(delegate);
    StartQuitRequestWatch();
    delegate->ApplicationDidFinishLaunching();
    return delegate->Result();
}

}  // namespace Quor::Shell
