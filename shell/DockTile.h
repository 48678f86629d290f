#pragma once
// A progress bar over the application's tile. Begin switches the application to the regular
// activation policy (remembering the one in force) and shows an empty bar; Set moves it; End
// removes it and restores the remembered policy. Begin while a bar is shown and End while none is
// do nothing. Without a Dock the bar is drawn on standard error (platform/HeadlessShell.h).
//
// Any thread (the command runner's progress listener calls Set); calls are serialised.
namespace Quor::Shell {

constexpr double DOCK_TILE_WIDTH = 128;
constexpr double DOCK_TILE_BAR_HEIGHT = 10;

void DockTileProgressBegin();
// fraction 0.0 to 1.0.
void DockTileProgressSet(float fraction);
void DockTileProgressEnd();

bool IsDockTileProgressShown();
// The bar's value; 0 while none is shown.
double DockTileProgressValue();

}  // namespace Quor::Shell
