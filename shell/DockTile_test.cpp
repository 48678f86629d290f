#include "shell/DockTile.h"

#include <gtest/gtest.h>

#include "shell/Application.h"
#include "shell/WindowCommands.h"

namespace Quor::Shell {
namespace {

TEST(DockTile, BeginAndEndBracketTheBarAndRestoreTheActivationPolicy) {
    DockTileProgressEnd();  // none shown: nothing
    EXPECT_EQ(App().ActivationPolicy(), ACTIVATION_POLICY_REGULAR);
    DockTileProgressSet(0.5f);  // none shown: nothing
    EXPECT_FALSE(IsDockTileProgressShown());

    HideMainWindow();  // as the kernel does before its command
    EXPECT_EQ(App().ActivationPolicy(), ACTIVATION_POLICY_PROHIBITED);
    DockTileProgressBegin();
    EXPECT_TRUE(IsDockTileProgressShown());
    EXPECT_EQ(App().ActivationPolicy(), ACTIVATION_POLICY_REGULAR);
    DockTileProgressSet(0.5f);
    EXPECT_EQ(DockTileProgressValue(), 0.5);

    App().SetActivationPolicy(ACTIVATION_POLICY_ACCESSORY);
    DockTileProgressBegin();  // shown: nothing, neither the bar nor the saved policy change
    EXPECT_EQ(DockTileProgressValue(), 0.5);

    DockTileProgressEnd();
    EXPECT_FALSE(IsDockTileProgressShown());
    EXPECT_EQ(App().ActivationPolicy(), ACTIVATION_POLICY_PROHIBITED);
    DockTileProgressEnd();
    EXPECT_EQ(App().ActivationPolicy(), ACTIVATION_POLICY_PROHIBITED);
}

}  // namespace
}  // namespace Quor::Shell
