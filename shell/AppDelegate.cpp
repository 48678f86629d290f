#include "shell/AppDelegate.h"

#include <cstdlib>
#include <memory>

#include "common/Log.h"
#include "platform/Displays.h"
#include "platform/ExecutablePath.h"
#include "shell/Application.h"
#include "shell/MainWindow.h"
#include "shell/Relaunch.h"
#include "shell/ShellState.h"

namespace Quor::Shell {

using namespace Platform;

namespace {

std::string RealExecutablePath() {
    char path[4096];
    return GetExecutablePath(path, sizeof path) ? path : "";
}

// The 1x1 borderless main window at the middle of the main screen's visible area (its x origin is
// not added), ordered in as key.
void MakeMainWindow() {
    const Rect visible = Displays().MainScreen().frame;
    auto window = std::make_unique<Window>();
    window->frame = {visible.width * 0.5, (visible.y + visible.height) * 0.5, 1.0, 1.0};
    window->styleMask = WINDOW_STYLE_BORDERLESS;
    window->opaque = false;
    window->hidesOnDeactivate = false;
    window->ignoresMouseEvents = false;
    window->acceptsMouseMovedEvents = true;
    Shell().mainWindow = std::move(window);
    SetMainWindowVisible(true);
}

}  // namespace

AppDelegate::AppDelegate(GameMainFunction gameMain, QuitRequestFunction gameHandlesQuit)
    : m_GameMain(gameMain), m_GameHandlesQuit(gameHandlesQuit), m_ExecutablePath(RealExecutablePath()) {}

void AppDelegate::SetArguments(int argc, const char* const* argv) {
    m_Arguments.clear();
    for (int i = 0; i < argc && argv && argv[i]; ++i) m_Arguments.emplace_back(argv[i]);
}

void AppDelegate::ApplicationDidFinishLaunching() {
    MakeMainWindow();
    std::vector<const char*> argv;
    for (const std::string& argument : m_Arguments) argv.push_back(argument.c_str());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(m_Arguments.size());

    bool run = true;
    if (!getenv("vorn_launched")) {
        run = !RelaunchThroughLauncher(m_ExecutablePath.c_str(), LAUNCHER_BUNDLE, LAUNCHER_PROGRAM);
        if (!run) QUOR_LOG(Log::DEBUG, "Started through the launcher; this run ends");
    }
    if (run && m_GameMain) {
        m_GameMainRan = true;
        m_Result = m_GameMain(argc, argv.data());
    }
    SetMainWindowVisible(false);
}

int AppDelegate::ApplicationShouldTerminate() {
    if (!m_GameHandlesQuit || !m_GameHandlesQuit()) Shell().running = false;
    return Shell().mainWindowShown ? TERMINATE_CANCEL : TERMINATE_NOW;
}

void AppDelegate::ApplicationWillUnhide() { Shell::ApplicationWillUnhide(); }
void AppDelegate::ApplicationWillHide() { Shell::ApplicationWillHide(); }

void AppDelegate::ApplicationDidBecomeActive() {
    if (Shell().focusGained) Shell().focusGained();
}

void AppDelegate::ApplicationDidResignActive() {
    if (Shell().focusLost) Shell().focusLost();
}

void NSKIVWindowDelegate::WindowDidBecomeKey() {
    if (Shell().focusGained) Shell().focusGained();
}

void NSKIVWindowDelegate::WindowDidResignKey() {
    if (Shell().focusLost) Shell().focusLost();
}

void ForwardKeyEventToCallback(const InputEvent& event) {
    if (Shell().keyCallback) Shell().keyCallback(event);
}

void EventResponder::KeyDown(const InputEvent& event) { ForwardKeyEventToCallback(event); }
void EventResponder::KeyUp(const InputEvent& event) { ForwardKeyEventToCallback(event); }
void EventResponder::FlagsChanged(const InputEvent& event) { ForwardKeyEventToCallback(event); }

void EventResponder::MouseEvent(const InputEvent& event) {
    if (Shell().mouseCallback) Shell().mouseCallback(event);
}

}  // namespace Quor::Shell
