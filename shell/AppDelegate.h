#pragma once
// The application's delegate and the main window's helpers: start-up (the 1x1 borderless main
// window, the search for the launcher, the kernel's run), the answer to a quit request, and the
// reactions to hiding, showing and activation; the window's delegate and its first responder,
// which hand focus changes and input events to the shell's callbacks.
//
// Main thread, except ApplicationShouldTerminate, which the system's quit request calls from a
// thread of its own (it touches only the shell's atomic flags).
#include <string>
#include <vector>

#include "platform/InputEvent.h"

namespace Quor::Shell {

using GameMainFunction = int (*)(int argc, const char** argv);
using QuitRequestFunction = bool (*)();

constexpr int TERMINATE_CANCEL = 0;
constexpr int TERMINATE_NOW = 1;

constexpr const char* LAUNCHER_BUNDLE = "Play Kindrel.app";
constexpr const char* LAUNCHER_PROGRAM = "OrvaneLauncher";

class AppDelegate {
public:
    // gameMain runs the program's work; gameHandlesQuit answers whether it takes a quit request
    // itself (null: it does not).
    AppDelegate(GameMainFunction gameMain, QuitRequestFunction gameHandlesQuit);

    // The program's arguments, copied when launching finishes.
    void SetArguments(int argc, const char* const* argv);
    // The executable whose folders the launcher search walks (default: this program's real path).
    void SetExecutablePath(const std::string& path) { m_ExecutablePath = path; }

    // Makes the main window, then runs gameMain, unless the program was not started by the launcher
    // and a launcher could be started instead; closes the main window when done.
    void ApplicationDidFinishLaunching();
    bool ApplicationShouldTerminateAfterLastWindowClosed() const { return false; }
    // Clears the running flag (unless the game handles quitting); TERMINATE_NOW while the main
    // window is not on screen, TERMINATE_CANCEL while it is.
    int ApplicationShouldTerminate();
    void ApplicationWillUnhide();
    void ApplicationWillHide();
    void ApplicationDidBecomeActive();
    void ApplicationDidResignActive();

    // gameMain's result; 0 when it did not run.
    int Result() const { return m_Result; }
    bool GameMainRan() const { return m_GameMainRan; }

private:
    GameMainFunction m_GameMain;
    QuitRequestFunction m_GameHandlesQuit;
    std::string m_ExecutablePath;
    std::vector<std::string> m_Arguments;
    int m_Result = 0;
    bool m_GameMainRan = false;
};

// The main window's delegate: key status changes call the focus callbacks.
struct NSKIVWindowDelegate {
    static void WindowDidBecomeKey();
    static void WindowDidResignKey();
};

// The main window's first responder: key events go to the key callback, mouse events to the mouse
// callback; nothing goes further up the chain.
struct EventResponder {
    static void KeyDown(const Platform::InputEvent& event);
    static void KeyUp(const Platform::InputEvent& event);
    static void FlagsChanged(const Platform::InputEvent& event);
    // Every mouse button, motion and wheel event.
    static void MouseEvent(const Platform::InputEvent& event);
};

void ForwardKeyEventToCallback(const Platform::InputEvent& event);

}  // namespace Quor::Shell
