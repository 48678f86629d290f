#pragma once
// Configuration of the main window as a full-screen or windowed surface on a chosen display, and
// the shell's reactions to the application being hidden and shown again.
//
// Main thread only. Both configuration calls answer false without a main window (the shell makes
// it at start). displayIndex indexes the display table (shell/Displays.h); centreX and centreY
// place the content's centre from the screen's top-left corner.
#include <cstdint>

#include "shell/ShellState.h"

namespace Quor::Shell {

bool ConfigureMainWindow(const char* title, uint32_t displayIndex, int centreX, int centreY, int width, int height,
                         WindowFlags flags);
// ConfigureMainWindow after switching the swap interval off.
bool CreateMainWindow(const char* title, uint32_t displayIndex, int centreX, int centreY, int width, int height,
                      WindowFlags flags);

// The application is about to be shown again: a full-screen window takes its display back.
void ApplicationWillUnhide();
// The application is about to be hidden: the window drops to the normal level, displays are released.
void ApplicationWillHide();

}  // namespace Quor::Shell
