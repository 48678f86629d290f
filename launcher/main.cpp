// OrvaneLauncher: the executable of the game bundle.
#include "launcher/LauncherMain.h"

int main(int argc, char** argv) {
    return Launcher::LauncherMain(argc, argv);
}
