#include "platform/ShellServices.h"

#include <atomic>

#include "platform/HeadlessShell.h"

namespace Quor::Platform {

namespace {

HeadlessShell& Headless() {
    static HeadlessShell shell;
    return shell;
}

std::atomic<IShell*> g_Shell{nullptr};

IShell& Shell() {
    IShell* shell = g_Shell.load();
    return shell ? *shell : Headless();
}

}  // namespace

unsigned MessageBox(const char* text, const char* caption, unsigned style) {
    return Shell().MessageBox(text, caption, style);
}
void HideMainWindow() { Shell().HideMainWindow(); }
bool IsMainWindowHidden() { return Headless().IsMainWindowHidden(); }
void DockTileProgressBegin() { Shell().DockTileProgressBegin(); }
void DockTileProgressSet(float fraction) { Shell().DockTileProgressSet(fraction); }
void DockTileProgressEnd() { Shell().DockTileProgressEnd(); }
int PumpEvents(MessageTranslator translator) { return Shell().PumpEvents(translator); }

void SetShell(IShell* shell) { g_Shell = shell; }
void SetShellForTests(IShell* shell) { g_Shell = shell; }

}  // namespace Quor::Platform
