#pragma once
// Showing, hiding, titling, minimising and closing the main window, quit requests and attention
// requests. Each does nothing without a main window, except the quit request. Main thread only.
namespace Quor::Shell {

// Regular activation policy, the window ordered in as key (shielding level when full-screen), the
// application activated.
void ShowMainWindow();
// Off the screen and out of the Dock's list (prohibited activation policy).
void HideMainWindow();
// Null sets the empty title.
void SetMainWindowTitle(const char* title);
void MinimizeMainWindow();
void RestoreMainWindow();
// Clears the running flag: the next pump answers 0 once.
void RequestQuit();
// Closes and releases the main window (it is forgotten), then clears the running flag.
void CloseMainWindow();
void RequestUserAttention();

}  // namespace Quor::Shell
