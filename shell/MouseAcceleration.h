#pragma once
// Saving, disabling and restoring the pointer's acceleration around mouse capture. The saved
// value lives in "$HOME/.kivrecordedvals" (4 bytes, host order), so that the next start restores
// what a crashed process left disabled.
//
// Main thread only; never fails visibly: without HOME or without the pointer parameters
// (platform/HidParameters.h) nothing changes. A saved file shorter than 4 bytes is removed and
// never applied. The first save registers a restore at process exit (once per process).
#include <cstdint>

namespace Quor::Shell {

constexpr uint32_t DISABLED_MOUSE_ACCELERATION = 0xFFFF0000;

void RestoreMouseAcceleration();
void SaveAndDisableMouseAcceleration();

}  // namespace Quor::Shell
