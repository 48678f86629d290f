#include "shell/ShellState.h"

#include <gtest/gtest.h>

namespace Quor::Shell {
namespace {

void SetWindow(Platform::Rect frame, unsigned style = Platform::WINDOW_STYLE_BORDERLESS) {
    Shell().mainWindow = std::make_unique<Platform::Window>();
    Shell().mainWindow->frame = frame;
    Shell().mainWindow->styleMask = style;
}

TEST(ShellState, ConvertsBetweenScreenAndClientWithAndWithoutWindowOrScreen) {
    struct Case {
        bool window, screen;
        int sx, sy, cx, cy;
    };
    // Content (100, 200, 640 x 480) on a 1080-high screen: the content's top is at 1080-200-480 = 400.
    const Case cases[] = {
        {true, true, 150, 420, 50, 20},
        {true, false, 150, 420, 50, 1100},  // screen height 0: the top at -680
        {false, true, 150, 420, 150, -660},
        {false, false, 150, 420, 150, 420},
    };
    for (const Case& c : cases) {
        Shell() = ShellState{};
        if (c.window) SetWindow({100.9, 200.2, 640.5, 480.7});
        if (c.screen) Shell().screen = Platform::Screen{{0, 0, 1920, 1080}, 1};
        int x = c.sx, y = c.sy;
        ScreenToClient(x, y);
        EXPECT_EQ(x, c.cx) << c.window << c.screen;
        EXPECT_EQ(y, c.cy) << c.window << c.screen;
        ClientToScreen(x, y);
        EXPECT_EQ(x, c.sx) << c.window << c.screen;
        EXPECT_EQ(y, c.sy) << c.window << c.screen;
    }
}

TEST(ShellState, TitleBarIsNotClientArea) {
    SetWindow({0, 0, 300, 222}, Platform::WINDOW_STYLE_TITLED);
    Shell().screen = Platform::Screen{{0, 0, 1000, 1000}, 1};
    int w, h;
    GetMainWindowClientSize(w, h);
    EXPECT_EQ(w, 300);
    EXPECT_EQ(h, 200);
    int x = 0, y = 0;
    ClientToScreen(x, y);
    EXPECT_EQ(y, 800);  // the content's top lies below the title bar
}

TEST(ShellState, MoveMainWindowByTakesTheVerticalOffsetTopDown) {
    MoveMainWindowBy(5, 5);  // no window: nothing happens
    int w = -1, h = -1;
    GetMainWindowClientSize(w, h);
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 0);

    SetWindow({10, 20, 30, 40});
    MoveMainWindowBy(3, 7);
    EXPECT_EQ(GetMainWindow()->frame.x, 13);
    EXPECT_EQ(GetMainWindow()->frame.y, 13);
    MoveMainWindowBy(-3, -7);
    EXPECT_EQ(GetMainWindow()->frame.x, 10);
    EXPECT_EQ(GetMainWindow()->frame.y, 20);
}

TEST(ShellState, StartValues) {
    EXPECT_EQ(GetMainWindow(), nullptr);
    EXPECT_TRUE(Shell().running);
    EXPECT_FALSE(Shell().quitReported);
    EXPECT_FALSE(Shell().screen.has_value());
}

}  // namespace
}  // namespace Quor::Shell
