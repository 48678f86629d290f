#include "shell/MainWindow.h"

#include "common/Log.h"
#include "platform/Displays.h"
#include "shell/Displays.h"

namespace Quor::Shell {

bool ConfigureMainWindow(const char* title, uint32_t displayIndex, int centreX, int centreY, int width, int height,
                         WindowFlags flags) {
    QUOR_LOG(Log::VERBOSE, "%s, %u, %d, %d, %d, %d", title ? title : "(null)", displayIndex, centreX, centreY, width,
             height);
    Platform::Window* window = GetMainWindow();
    if (!window) {
        QUOR_LOG(Log::ERROR, "There is no main window");
        return false;
    }
    Shell().flags = flags;
    Platform::IDisplays& displays = Platform::Displays();
    const uint32_t displayId = GetDisplayId(displayIndex);
    if (!flags.windowed) {
        window->styleMask = Platform::WINDOW_STYLE_BORDERLESS;
        window->hidesOnDeactivate = true;
        displays.Capture(displayId);
        window->level = Platform::WINDOW_LEVEL_SHIELDING;
    } else {
        window->styleMask = flags.titled ? Platform::WINDOW_STYLE_TITLED : Platform::WINDOW_STYLE_BORDERLESS;
        const bool topmost = !flags.titled && flags.topmost;
        window->level = topmost ? Platform::WINDOW_LEVEL_SCREEN_SAVER : Platform::WINDOW_LEVEL_NORMAL;
        window->hidesOnDeactivate = topmost;
        displays.ReleaseAll();
    }
    window->ignoresMouseEvents = false;
    window->acceptsMouseMovedEvents = true;

    Platform::Screen screen = displays.MainScreen();
    for (const Platform::Screen& s : displays.Screens()) {
        if (s.displayId == displayId) {
            screen = s;
            break;
        }
    }
    Shell().screen = screen;

    Platform::Rect content;
    content.x = static_cast<int>(centreX + screen.frame.x - width * 0.5);
    content.y = static_cast<int>(screen.frame.height - (height * 0.5 + centreY + screen.frame.y));
    content.width = width;
    content.height = height;
    window->frame = window->FrameRectForContentRect(content);
    window->opaque = !flags.transparent;
    window->presentationOptions =
        content.width == screen.frame.width && content.height == screen.frame.height
            ? Platform::PRESENTATION_HIDE_DOCK_AND_MENU_BAR
            : 0;
    if (title) window->title = title;
    return true;
}

bool CreateMainWindow(const char* title, uint32_t displayIndex, int centreX, int centreY, int width, int height,
                      WindowFlags flags) {
    if (Platform::Window* window = GetMainWindow()) window->swapInterval = 0;
    return ConfigureMainWindow(title, displayIndex, centreX, centreY, width, height, flags);
}

void ApplicationWillUnhide() {
    Platform::Window* window = GetMainWindow();
    if (!window || window->styleMask != Platform::WINDOW_STYLE_BORDERLESS || !window->hidesOnDeactivate) return;
    const uint32_t main = GetMainDisplayIndex();
    SetDisplayMode(main, static_cast<uint32_t>(window->frame.width), static_cast<uint32_t>(window->frame.height), 32);
    Platform::Displays().Capture(GetDisplayId(main));
    SetMainWindowVisible(true);
}

void ApplicationWillHide() {
    if (Platform::Window* window = GetMainWindow()) window->level = Platform::WINDOW_LEVEL_NORMAL;
    Platform::Displays().ReleaseAll();
}

}  // namespace Quor::Shell
