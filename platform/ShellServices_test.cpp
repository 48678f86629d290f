#include "platform/ShellServices.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "platform/AnswerPolicy.h"
#include "platform/HeadlessShell.h"

namespace {

using namespace Quor::Platform;

TEST(AnswerPolicy, ScriptedAnswersInOrderThenTheDefaultButton) {
    SetScriptedAnswers({1, 2});
    HeadlessShell shell(open("/dev/null", O_WRONLY));
    EXPECT_EQ(shell.MessageBox("Stop the other kernel?", "", MB_STYLE_OK_CANCEL), 1u);
    EXPECT_EQ(MessageBox("second", "", MB_STYLE_OK), 2u);
    EXPECT_EQ(MessageBox("third", "", MB_STYLE_OK), 0u);
    EXPECT_EQ(MessageBox("fourth", "", MB_STYLE_OK), 0u);
}

TEST(AnswerPolicy, ParsesTheEnvironmentList) {
    EXPECT_EQ(ParseAnswerList("1,0,2"), (std::vector<unsigned>{1, 0, 2}));
    EXPECT_EQ(ParseAnswerList("x,,-1,3"), (std::vector<unsigned>{0, 0, 0, 3}));
    EXPECT_TRUE(ParseAnswerList("").empty());
    EXPECT_TRUE(ParseAnswerList(nullptr).empty());
}

TEST(AnswerPolicy, ReadsOrvaneAnswersOnce) {
    setenv("ORVANE_ANSWERS", "1,1", 1);
    EXPECT_EQ(NextAnswer(), 1u);
    setenv("ORVANE_ANSWERS", "2", 1);  // read once: the change is not seen
    EXPECT_EQ(NextAnswer(), 1u);
    EXPECT_EQ(NextAnswer(), 0u);
    unsetenv("ORVANE_ANSWERS");
}

std::string DrainAll(int fd) {
    std::string all;
    char buffer[4096];
    pollfd poller{fd, POLLIN, 0};
    while (poll(&poller, 1, 0) > 0 && (poller.revents & POLLIN)) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got <= 0) break;
        all.append(buffer, static_cast<size_t>(got));
    }
    return all;
}

void DrawSteps(HeadlessShell& shell) {
    shell.DockTileProgressBegin();
    for (float f : {0.05f, 0.25f, 0.26f, 0.5f, 1.0f, 7.0f}) shell.DockTileProgressSet(f);
    shell.DockTileProgressEnd();
    shell.DockTileProgressSet(0.3f);  // after the end: nothing
    shell.DockTileProgressEnd();
}

TEST(HeadlessShell, PipeSeesCoarseLines) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    {
        HeadlessShell shell(fds[1]);
        DrawSteps(shell);
    }
    EXPECT_EQ(DrainAll(fds[0]), "Progress: 0%\nProgress: 20%\nProgress: 50%\nProgress: 100%\n");
    close(fds[0]);
    close(fds[1]);
}

TEST(HeadlessShell, TerminalSeesTheBarRedrawnInPlace) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);
    {
        HeadlessShell shell(slave);
        DrawSteps(shell);
    }
    const std::string seen = DrainAll(master);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), '\n'), 1) << seen;  // one line end, at the end
    EXPECT_EQ(seen.back(), '\n');
    EXPECT_NE(seen.find("\r[" + std::string(20, '#') + std::string(20, ' ') + "] 50%"), std::string::npos) << seen;
    EXPECT_NE(seen.find("] 100%"), std::string::npos);
    EXPECT_EQ(seen.find("Progress:"), std::string::npos);
    close(slave);
    close(master);
}

TEST(HeadlessShell, PumpNeverBlocksAndHideIsState) {
    EXPECT_EQ(PumpEvents(nullptr), 1);
    EXPECT_FALSE(IsMainWindowHidden());
    HideMainWindow();
    EXPECT_TRUE(IsMainWindowHidden());
}

}  // namespace
