#include "shell/AppDelegate.h"

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <climits>
#include <thread>

#include "tests/kit/AppBundle.h"
#include "tests/kit/TempDir.h"
#include "platform/AnswerPolicy.h"
#include "platform/FakeDisplays.h"
#include "platform/ShellServices.h"
#include "shell/Application.h"
#include "shell/EventPump.h"
#include "shell/QuitRequests.h"
#include "shell/ShellMain.h"
#include "shell/ShellState.h"
#include "shell/WindowCommands.h"

namespace Quor::Shell {
namespace {

using namespace Platform;

std::vector<std::string> g_Arguments;
bool g_WindowShownDuringRun = false;
Rect g_WindowFrame;

int RecordingGameMain(int argc, const char** argv) {
    g_Arguments.assign(argv, argv + argc);
    g_WindowShownDuringRun = Shell().mainWindowShown;
    if (GetMainWindow()) g_WindowFrame = GetMainWindow()->frame;
    return argv[argc] == nullptr ? 255 : 1;
}

std::string RealPath(const std::string& path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? resolved : path;
}

// {tmp}/x/y/Orvane.app/Contents/MacOS/Orvane beside {tmp}/x/Play Kindrel.app, whose launcher
// writes its working folder, argument count and "vorn_launched" to {tmp}/launched.
struct KernelBesideLauncher {
    QuorTest::TempDir tmp;
    std::string kernel = tmp / "x/y/Orvane.app/Contents/MacOS/Orvane";
    std::string record = tmp / "launched";
    KernelBesideLauncher() {
        QuorTest::MakeDirs(tmp / "x/y/Orvane.app/Contents/MacOS");
        QuorTest::WriteScript(tmp / "x/Play Kindrel.app/Contents/MacOS/OrvaneLauncher",
                              "echo \"$(pwd -P) $# $vorn_launched\" > '" + record + ".tmp' && mv '" + record +
                                  ".tmp' '" + record + "'\n");
    }
};

TEST(AppDelegate, NotStartedByTheLauncherStartsItAndQuitsWithoutRunning) {
    KernelBesideLauncher tree;
    unsetenv("vorn_launched");
    AppDelegate delegate(RecordingGameMain, nullptr);
    delegate.SetExecutablePath(tree.kernel);
    const char* argv[] = {"Orvane", "updateandrun", nullptr};
    delegate.SetArguments(2, argv);
    delegate.ApplicationDidFinishLaunching();
    EXPECT_FALSE(delegate.GameMainRan());
    EXPECT_EQ(delegate.Result(), 0);
    ASSERT_TRUE(QuorTest::WaitForFile(tree.record));
    EXPECT_EQ(QuorTest::ReadFile(tree.record), RealPath(tree.tmp / "x") + " 0 true\n");
}

TEST(AppDelegate, StartedByTheLauncherRunsInsideTheOnePixelWindow) {
    KernelBesideLauncher tree;
    FakeDisplays displays;
    FakeDisplays::Display main;
    main.id = 1;
    main.screen = {{0, 40, 1920, 1000}, 1};
    displays.displays = {main};
    displays.mainId = 1;
    SetDisplaysForTests(&displays);
    setenv("vorn_launched", "", 1);  // present, even empty
    AppDelegate delegate(RecordingGameMain, nullptr);
    delegate.SetExecutablePath(tree.kernel);
    const char* argv[] = {"Orvane", "updateandrun", "kiv_launcher", nullptr};
    delegate.SetArguments(3, argv);
    delegate.ApplicationDidFinishLaunching();
    SetDisplaysForTests(nullptr);
    EXPECT_TRUE(delegate.GameMainRan());
    EXPECT_EQ(delegate.Result(), 255);
    EXPECT_EQ(g_Arguments, (std::vector<std::string>{"Orvane", "updateandrun", "kiv_launcher"}));
    EXPECT_TRUE(g_WindowShownDuringRun);
    EXPECT_EQ(g_WindowFrame.x, 960);
    EXPECT_EQ(g_WindowFrame.y, 520);
    EXPECT_EQ(g_WindowFrame.width, 1);
    EXPECT_EQ(g_WindowFrame.height, 1);
    EXPECT_FALSE(Shell().mainWindowShown);  // closed at the end
    EXPECT_FALSE(QuorTest::Exists(tree.record));
}

unsigned g_Answer = 0;
bool g_HiddenByKernel = false;

int KernelLikeGameMain(int, const char**) {
    HideMainWindow();  // the kernel's calls, through the platform services
    g_HiddenByKernel = !Shell().mainWindowShown && App().ActivationPolicy() == ACTIVATION_POLICY_PROHIBITED;
    g_Answer = Platform::MessageBox("Stop the other kernels?", "", MB_STYLE_OK_CANCEL);
    return 255;
}

TEST(ShellMain, ExitsWithTheResultOfTheRunAndServesTheKernelsCalls) {
    setenv("vorn_launched", "true", 1);
    SetScriptedAnswers({1});
    char name[] = "Orvane";
    char* argv[] = {name, nullptr};
    EXPECT_EQ(ShellMain(1, argv, KernelLikeGameMain, nullptr), 255);
    EXPECT_TRUE(g_HiddenByKernel);
    EXPECT_EQ(g_Answer, 1u);
}

bool HandlesQuit() { return true; }

TEST(QuitRequest, ClearsTheRunningFlagAndEndsTheProcessOnlyWhileTheWindowIsHidden) {
    AppDelegate delegate(nullptr, nullptr);
    Shell().mainWindow = std::make_unique<Window>();
    SetMainWindowVisible(true);
    EXPECT_EQ(delegate.ApplicationShouldTerminate(), TERMINATE_CANCEL);
    EXPECT_FALSE(Shell().running);
    EXPECT_EQ(PumpEvents(nullptr), 0);
    EXPECT_EQ(PumpEvents(nullptr), 1);
    HideMainWindow();
    EXPECT_EQ(delegate.ApplicationShouldTerminate(), TERMINATE_NOW);

    Shell() = ShellState{};
    AppDelegate handling(nullptr, HandlesQuit);
    EXPECT_EQ(handling.ApplicationShouldTerminate(), TERMINATE_NOW);
    EXPECT_TRUE(Shell().running);
}

TEST(QuitRequest, SigtermWhileShownOnlyClearsTheRunningFlag) {
    AppDelegate delegate(nullptr, nullptr);
    App().SetDelegate(&delegate);
    Shell().mainWindow = std::make_unique<Window>();
    SetMainWindowVisible(true);
    StartQuitRequestWatch();
    raise(SIGINT);
    while (Shell().running) std::this_thread::yield();
    EXPECT_EQ(PumpEvents(nullptr), 0);
    EXPECT_EQ(PumpEvents(nullptr), 1);
    App().SetDelegate(nullptr);
}

TEST(QuitRequest, SigtermWhileHiddenEndsTheProcessAtOnce) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            static AppDelegate delegate(nullptr, nullptr);
            App().SetDelegate(&delegate);
            Shell().mainWindow = std::make_unique<Window>();
            HideMainWindow();
            StartQuitRequestWatch();
            raise(SIGTERM);
            for (;;) pause();
        },
        testing::KilledBySignal(SIGTERM), "");
}

}  // namespace
}  // namespace Quor::Shell
