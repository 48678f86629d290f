#pragma once
// The process-wide state of the application shell and the geometry of its main window.
//
// One instance (Shell()), used on the main thread only, without locks. The main window is owned
// by the state (null until the shell makes one); the screen is the one ConfigureMainWindow chose
// (absent until then). Callbacks are installed by the input layer and called only when set.
// Screen coordinates here have a top-left origin, window content coordinates too.
#include <memory>
#include <optional>

#include "platform/InputEvent.h"
#include "platform/WindowModel.h"

namespace Quor::Shell {

using EventCallback = void (*)(const Platform::InputEvent& event);
using FocusCallback = void (*)();

// The main window's configuration (ConfigureMainWindow replaces it).
struct WindowFlags {
    bool windowed = true;
    bool titled = true;
    bool transparent = false;
    bool topmost = true;
};

struct ShellState {
    std::unique_ptr<Platform::Window> mainWindow;
    EventCallback keyCallback = nullptr;
    EventCallback mouseCallback = nullptr;
    FocusCallback focusGained = nullptr;
    FocusCallback focusLost = nullptr;
    bool running = true;
    bool quitReported = false;
    bool rawKeyboard = false;
    std::optional<Platform::Screen> screen;
    WindowFlags flags;
};

ShellState& Shell();

Platform::Window* GetMainWindow();
// Moves the window's frame by dx to the right and dy down; nothing without a window.
void MoveMainWindowBy(int dx, int dy);
// The content size, truncated; 0 and 0 without a window.
void GetMainWindowClientSize(int& width, int& height);
// Screen (top-left origin) to content coordinates of the main window and back; a missing window
// or screen counts as a zero rectangle.
void ScreenToClient(int& x, int& y);
void ClientToScreen(int& x, int& y);

}  // namespace Quor::Shell
