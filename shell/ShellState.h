#pragma once
// The process-wide state of the application shell and the geometry of its main window.
//
// One instance (Shell()), used on the main thread only, without locks, except its shared flags:
// the event pump also runs on the command runner's thread and a quit request from the system
// arrives on a thread of its own, so those flags are atomic. The main window is owned by the state
// (null until the shell makes one); the screen is the one ConfigureMainWindow chose (absent until
// then). Callbacks are installed by the input layer and called only when set. Screen coordinates
// here have a top-left origin, window content coordinates too.
#include <atomic>
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

// An atomic flag that can be copied, so that the whole state can be reset.
class SharedFlag {
public:
    SharedFlag(bool value = false) : m_Value(value) {}
    SharedFlag(const SharedFlag& other) : m_Value(other.m_Value.load()) {}
    SharedFlag& operator=(const SharedFlag& other) {
        m_Value = other.m_Value.load();
        return *this;
    }
    SharedFlag& operator=(bool value) {
        m_Value = value;
        return *this;
    }
    operator bool() const { return m_Value.load(); }
    // Sets the flag; true when this call changed it.
    bool Set() { return !m_Value.exchange(true); }

private:
    std::atomic<bool> m_Value;
};

struct ShellState {
    std::unique_ptr<Platform::Window> mainWindow;
    EventCallback keyCallback = nullptr;
    EventCallback mouseCallback = nullptr;
    FocusCallback focusGained = nullptr;
    FocusCallback focusLost = nullptr;
    SharedFlag running{true};
    SharedFlag quitReported{false};
    // The main window is on screen (ordered in, the application not hidden).
    SharedFlag mainWindowShown{false};
    bool rawKeyboard = false;
    std::optional<Platform::Screen> screen;
    WindowFlags flags;
};

ShellState& Shell();

Platform::Window* GetMainWindow();
// Orders the main window in or out (nothing without one) and keeps mainWindowShown up to date.
void SetMainWindowVisible(bool visible);
// Moves the window's frame by dx to the right and dy down; nothing without a window.
void MoveMainWindowBy(int dx, int dy);
// The content size, truncated; 0 and 0 without a window.
void GetMainWindowClientSize(int& width, int& height);
// Screen (top-left origin) to content coordinates of the main window and back; a missing window
// or screen counts as a zero rectangle.
void ScreenToClient(int& x, int& y);
void ClientToScreen(int& x, int& y);

}  // namespace Quor::Shell
