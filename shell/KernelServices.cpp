#include "shell/KernelServices.h"

#include "shell/Alerts.h"
#include "shell/DockTile.h"
#include "shell/EventPump.h"
#include "shell/WindowCommands.h"

namespace Quor::Shell {

unsigned KernelServices::MessageBox(const char* text, const char* caption, unsigned style) {
    return Shell::MessageBox(text, caption, style);
}
void KernelServices::HideMainWindow() { Shell::HideMainWindow(); }
void KernelServices::DockTileProgressBegin() { Shell::DockTileProgressBegin(); }
void KernelServices::DockTileProgressSet(float fraction) { Shell::DockTileProgressSet(fraction); }
void KernelServices::DockTileProgressEnd() { Shell::DockTileProgressEnd(); }
int KernelServices::PumpEvents(Platform::MessageTranslator translator) { return Shell::PumpEvents(translator); }

void InstallKernelServices() {
    static KernelServices services;
    Platform::SetShell(&services);
}

}  // namespace Quor::Shell
