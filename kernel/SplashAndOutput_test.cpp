#include <gtest/gtest.h>

#include "common/Log.h"
#include "kernel/OutputDialog.h"
#include "kernel/SplashScreen.h"

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
