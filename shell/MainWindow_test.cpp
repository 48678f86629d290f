#include "shell/MainWindow.h"

#include <gtest/gtest.h>

#include "platform/FakeDisplays.h"
#include "shell/Displays.h"

namespace Quor::Shell {
namespace {

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        Platform::SetDisplaysForTests(&fake);
        for (uint32_t id : {3u, 4u}) {
            Platform::FakeDisplays::Display d;
            d.id = id;
            d.current = {1920, 1080, 60, "--------RRRRRRRRGGGGGGGGBBBBBBBB"};
            d.modes = {d.current, {800, 600, 60, "--------RRRRRRRRGGGGGGGGBBBBBBBB"}};
            d.screen = {{id == 3 ? 0.0 : 1920.0, 0, 1920, 1080}, id};
            fake.displays.push_back(d);
        }
        fake.mainId = 3;
        ASSERT_TRUE(EnumerateDisplays());
        Shell().mainWindow = std::make_unique<Platform::Window>();
    }
    void TearDown() override { Platform::SetDisplaysForTests(nullptr); }

    Platform::FakeDisplays fake;
};

TEST(MainWindowWithout, ConfigureFails) {
    EXPECT_FALSE(ConfigureMainWindow("t", 0, 0, 0, 10, 10, {}));
    EXPECT_FALSE(CreateMainWindow("t", 0, 0, 0, 10, 10, {}));
}

TEST_F(MainWindowTest, WindowedTitledIsCentredOnTheChosenScreen) {
    ASSERT_TRUE(CreateMainWindow("Game", 1, 960, 540, 640, 480, {true, true, false, false}));
    Platform::Window* w = GetMainWindow();
    EXPECT_EQ(GetMainWindowScreen()->displayId, 4u);
    EXPECT_EQ(w->frame.x, 960 + 1920 - 320);
    EXPECT_EQ(w->frame.y, 1080 - (240 + 540));
    int width, height;
    GetMainWindowClientSize(width, height);
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 480);
    EXPECT_EQ(w->styleMask, Platform::WINDOW_STYLE_TITLED);
    EXPECT_EQ(w->level, Platform::WINDOW_LEVEL_NORMAL);
    EXPECT_FALSE(w->hidesOnDeactivate);
    EXPECT_EQ(w->title, "Game");
    EXPECT_EQ(w->swapInterval, 0);
    EXPECT_EQ(w->presentationOptions, 0u);
    EXPECT_FALSE(w->ignoresMouseEvents);
    EXPECT_EQ(fake.releases, 1);
    // The content's top-left corner is client (0, 0).
    int x = 960 + 1920 - 320, y = 540 - 240;
    ScreenToClient(x, y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
}

TEST_F(MainWindowTest, BorderlessTopmostAndUnknownDisplay) {
    ASSERT_TRUE(ConfigureMainWindow(nullptr, 7, 960, 540, 1920, 1080, {true, false, true, true}));
    Platform::Window* w = GetMainWindow();
    EXPECT_EQ(GetMainWindowScreen()->displayId, 3u);  // the main screen
    EXPECT_EQ(w->level, Platform::WINDOW_LEVEL_SCREEN_SAVER);
    EXPECT_TRUE(w->hidesOnDeactivate);
    EXPECT_FALSE(w->opaque);
    EXPECT_EQ(w->presentationOptions, Platform::PRESENTATION_HIDE_DOCK_AND_MENU_BAR);
}

TEST_F(MainWindowTest, FullScreenCapturesAndUnhideTakesTheDisplayBack) {
    ASSERT_TRUE(ConfigureMainWindow("", 0, 400, 300, 800, 600, {false, true, false, false}));
    Platform::Window* w = GetMainWindow();
    EXPECT_EQ(w->styleMask, Platform::WINDOW_STYLE_BORDERLESS);
    EXPECT_EQ(w->level, Platform::WINDOW_LEVEL_SHIELDING);
    EXPECT_EQ(fake.captured, std::vector<uint32_t>{3});

    ApplicationWillHide();
    EXPECT_EQ(w->level, Platform::WINDOW_LEVEL_NORMAL);
    EXPECT_TRUE(fake.captured.empty());

    ApplicationWillUnhide();
    ASSERT_EQ(fake.switches.size(), 1u);
    EXPECT_EQ(fake.switches[0].width, 800u);
    EXPECT_EQ(fake.switches[0].height, 600u);
    EXPECT_EQ(fake.switches[0].bitsPerPixel, 32u);
    EXPECT_EQ(fake.captured, std::vector<uint32_t>{3});
    EXPECT_TRUE(w->visible);
}

TEST_F(MainWindowTest, UnhideOfAWindowedWindowDoesNothing) {
    ASSERT_TRUE(ConfigureMainWindow("", 0, 400, 300, 800, 600, {true, true, false, false}));
    ApplicationWillUnhide();
    EXPECT_TRUE(fake.switches.empty());
    EXPECT_FALSE(GetMainWindow()->visible);
}

}  // namespace
}  // namespace Quor::Shell
