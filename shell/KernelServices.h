#pragma once
// The shell's forms of the user-interface services the kernel calls (platform/ShellServices.h):
// message boxes as alert sheets, the main window hidden through the shell, the tile's progress bar
// and the shell's event pump. InstallKernelServices makes them the ones the kernel reaches; the
// program does so at start-up.
#include "platform/ShellServices.h"

namespace Quor::Shell {

class KernelServices : public Platform::IShell {
public:
    unsigned MessageBox(const char* text, const char* caption, unsigned style) override;
    void HideMainWindow() override;
    void DockTileProgressBegin() override;
    void DockTileProgressSet(float fraction) override;
    void DockTileProgressEnd() override;
    int PumpEvents(Platform::MessageTranslator translator) override;
};

void InstallKernelServices();

}  // namespace Quor::Shell
