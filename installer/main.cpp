// The disk-image installer program.
#include "installer/Installer.h"

int main() {
    return Installer::InstallerMain(Installer::BundlePathOfExecutable());
}
