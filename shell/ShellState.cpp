#include "shell/ShellState.h"

namespace Quor::Shell {

ShellState& Shell() {
    static ShellState state;
    return state;
}

Platform::Window* GetMainWindow() { return Shell().mainWindow.get(); }

void SetMainWindowVisible(bool visible) {
    Platform::Window* window = GetMainWindow();
    if (window) window->visible = visible;
    Shell().mainWindowShown = window && visible;
}

void MoveMainWindowBy(int dx, int dy) {
    Platform::Window* window = GetMainWindow();
    if (!window) return;
    window->frame.x += dx;
    window->frame.y -= dy;
}

void GetMainWindowClientSize(int& width, int& height) {
    width = height = 0;
    Platform::Window* window = GetMainWindow();
    if (!window) return;
    Platform::Rect content = window->ContentRectForFrameRect(window->frame);
    width = static_cast<int>(content.width);
    height = static_cast<int>(content.height);
}

namespace {

// The content rectangle (bottom-left origin) and the screen height, truncated.
void Geometry(int& x, int& y, int& height, int& screenHeight) {
    x = y = height = screenHeight = 0;
    if (Platform::Window* window = GetMainWindow()) {
        Platform::Rect content = window->ContentRectForFrameRect(window->frame);
        x = static_cast<int>(content.x);
        y = static_cast<int>(content.y);
        height = static_cast<int>(content.height);
    }
    if (Shell().screen) screenHeight = static_cast<int>(Shell().screen->frame.height);
}

}  // namespace

void ScreenToClient(int& x, int& y) {
    int cx, cy, h, screenHeight;
    Geometry(cx, cy, h, screenHeight);
    x -= cx;
    y -= screenHeight - cy - h;
}

void ClientToScreen(int& x, int& y) {
    int cx, cy, h, screenHeight;
    Geometry(cx, cy, h, screenHeight);
    x += cx;
    y += screenHeight - cy - h;
}

}  // namespace Quor::Shell
