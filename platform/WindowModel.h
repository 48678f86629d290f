#pragma once
// The window and screen model of the headless shell: a window is its frame, style and the few
// attributes the shell sets; a screen is its frame and display number. Coordinates have a
// bottom-left origin, as the desktop's do. Plain values; owned by whoever holds them, used on the
// main thread only.
#include <cstdint>
#include <string>

namespace Quor::Platform {

struct Rect {
    double x = 0, y = 0, width = 0, height = 0;
};

struct Screen {
    Rect frame;
    uint32_t displayId = 0;
};

constexpr unsigned WINDOW_STYLE_BORDERLESS = 0;
constexpr unsigned WINDOW_STYLE_TITLED = 1;
// Window levels: ordinary windows, the screen saver's, and the level that shields a captured display.
constexpr int WINDOW_LEVEL_NORMAL = 0;
constexpr int WINDOW_LEVEL_SCREEN_SAVER = 1000;
constexpr int WINDOW_LEVEL_SHIELDING = 2147483630;
// Presentation options that hide the Dock and the menu bar.
constexpr unsigned PRESENTATION_HIDE_DOCK_AND_MENU_BAR = 10;
// Height of a titled window's title bar above its content.
constexpr double TITLE_BAR_HEIGHT = 22;

class Window {
public:
    Rect frame;
    unsigned styleMask = WINDOW_STYLE_BORDERLESS;
    int level = 0;
    bool hidesOnDeactivate = false;
    bool opaque = true;
    bool ignoresMouseEvents = true;
    bool acceptsMouseMovedEvents = false;
    bool visible = false;
    bool miniaturized = false;
    std::string title;
    unsigned presentationOptions = 0;
    int swapInterval = 1;

    // The content rectangle of a frame under this window's style, and the frame of a content rectangle.
    Rect ContentRectForFrameRect(const Rect& r) const {
        Rect c = r;
        if (styleMask & WINDOW_STYLE_TITLED) c.height -= TITLE_BAR_HEIGHT;
        return c;
    }
    Rect FrameRectForContentRect(const Rect& r) const {
        Rect f = r;
        if (styleMask & WINDOW_STYLE_TITLED) f.height += TITLE_BAR_HEIGHT;
        return f;
    }
};

}  // namespace Quor::Platform
