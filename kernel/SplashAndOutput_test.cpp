#include <gtest/gtest.h>

#include "common/Log.h"
#include "kernel/OutputDialog.h"
#include "kernel/SplashScreen.h"
#include "platform/FakeDisplays.h"
#include "tests/kit/TempDir.h"

namespace {

using namespace Quor::Orvane;

TEST(SplashScreen, OneWindowAtATime) {
    SplashScreen splash;
    splash.DestroyWindow();  // none shown: nothing
    EXPECT_FALSE(splash.IsShown());
    splash.StartWindow();
    splash.StartWindow();
    EXPECT_TRUE(splash.IsShown());
    splash.OnUpdateStart();
    splash.DestroyWindow();
    EXPECT_FALSE(splash.IsShown());
    EXPECT_EQ(splash.CreateSplashWindow(), S_OK);
    EXPECT_TRUE(splash.IsShown());
}

// The first 24 bytes of a PNG image of width x height.
std::string PngHeader(uint32_t width, uint32_t height) {
    std::string bytes("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16);
    for (uint32_t v : {width, height})
        for (int shift = 24; shift >= 0; shift -= 8) bytes += static_cast<char>((v >> shift) & 0xFF);
    return bytes + std::string("\x08\x06\0\0\0", 5);
}

TEST(SplashScreen, WindowTakesTheImageSizeInTheMiddleOfTheMainScreen) {
    Quor::Platform::FakeDisplays displays;
    Quor::Platform::FakeDisplays::Display main;
    main.id = 7;
    main.screen = {{0, 0, 1920, 1080}, 7};
    displays.displays = {main};
    displays.mainId = 7;
    Quor::Platform::SetDisplaysForTests(&displays);
    QuorTest::TempDir tmp;
    QuorTest::WriteFile(tmp / "SplashScreen.png", PngHeader(400, 300));
    QuorTest::WriteFile(tmp / "short.png", PngHeader(400, 300).substr(0, 20));
    QuorTest::MakeDirs(tmp / "folder.png");
    struct Case {
        std::string image;
        Quor::Platform::Rect frame;
    };
    const Case cases[] = {
        {tmp / "SplashScreen.png", {760, 390, 400, 300}},
        {tmp / "missing.png", {960, 540, 0, 0}},
        {tmp / "short.png", {960, 540, 0, 0}},
        {tmp / "folder.png", {960, 540, 0, 0}},
    };
    for (const Case& c : cases) {
        std::unique_ptr<SplashWindow> window(CreateSplashScreenWindow(c.image));
        ASSERT_TRUE(window);
        EXPECT_EQ(window->frame.x, c.frame.x) << c.image;
        EXPECT_EQ(window->frame.y, c.frame.y) << c.image;
        EXPECT_EQ(window->frame.width, c.frame.width) << c.image;
        EXPECT_EQ(window->frame.height, c.frame.height) << c.image;
        EXPECT_TRUE(window->visible);
        EXPECT_EQ(window->styleMask, Quor::Platform::WINDOW_STYLE_BORDERLESS);
    }
    Quor::Platform::SetDisplaysForTests(nullptr);
}

TEST(SplashScreen, GlobalPointerLivesUntilReset) {
    ASSERT_TRUE(GetSplashScreen());
    GetSplashScreen()->StartWindow();
    std::weak_ptr<SplashScreen> watch = GetSplashScreen();
    GetSplashScreen().reset();
    EXPECT_TRUE(watch.expired());
}

TEST(OutputDialog, DebugSinkTakesLogLinesAndPrintsNothing) {
    OutputDialog::MyOutput& sink = OutputDialog::GetOutput();
    EXPECT_EQ(&sink, &OutputDialog::GetOutput());
    Quor::Log::SetLogLevel(Quor::Log::DEBUG);
    Quor::Log::SetIWrite(&sink);
    const uint64_t before = sink.LinesWritten();
    QUOR_LOG(Quor::Log::DEBUG, "a line for the sink %d", 1);
    QUOR_LOG(Quor::Log::VERBOSE, "below the level");
    EXPECT_EQ(sink.LinesWritten(), before + 1);

    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    sink.Write(Quor::Log::ERROR, "tag", std::string(8000, 'x').c_str());  // longer than the buffer
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    Quor::Log::SetIWrite(nullptr);
}

}  // namespace
