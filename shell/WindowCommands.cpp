#include "shell/WindowCommands.h"

#include "shell/Application.h"
#include "shell/ShellState.h"

namespace Quor::Shell {

void ShowMainWindow() {
    App().SetActivationPolicy(ACTIVATION_POLICY_REGULAR);
    if (Platform::Window* window = GetMainWindow()) {
        SetMainWindowVisible(true);
        if (!Shell().flags.windowed) window->level = Platform::WINDOW_LEVEL_SHIELDING;
    }
    App().ActivateIgnoringOtherApps();
}

void HideMainWindow() {
    App().SetActivationPolicy(ACTIVATION_POLICY_PROHIBITED);
    SetMainWindowVisible(false);
}

void SetMainWindowTitle(const char* title) {
    if (Platform::Window* window = GetMainWindow()) window->title = title ? title : "";
}

void MinimizeMainWindow() {
    if (Platform::Window* window = GetMainWindow()) window->miniaturized = true;
}

void RestoreMainWindow() {
    if (Platform::Window* window = GetMainWindow()) window->miniaturized = false;
}

void RequestQuit() { Shell().running = false; }

void CloseMainWindow() {
    // A window released on close must not stay reachable through the shell state.
    if (GetMainWindow()) {
        SetMainWindowVisible(false);
        Shell().mainWindow.reset();
    }
    Shell().running = false;
}

void RequestUserAttention() { App().RequestUserAttention(INFORMATIONAL_REQUEST); }

}  // namespace Quor::Shell
