// The writer's lock of an archive folder: a second writer waits on the process clock, gets the
// lock once the first lets go, and gives up as busy at the end of its wait.
#include "archive/FolderLock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/ManualClock.h"
#include "tests/kit/TempDir.h"

namespace Quor::FileSystem::Impl {
namespace {

using namespace std::chrono_literals;

TEST(FolderLockTest, ASecondWriterWaitsOnTheProcessClock) {
    QuorTest::TempDir folder{"folderlock"};
    for (const bool holderLetsGo : {true, false}) {
        Platform::ManualClock clock;
        FolderLock holder;
        ASSERT_EQ(holder.Acquire(folder.path(), 0ms), FolderLock::Result::kLocked);
        FolderLock waiter;
        FolderLock::Result result = FolderLock::Result::kFailed;
        std::thread second([&] { result = waiter.Acquire(folder.path(), 30s); });
        clock.AwaitWaiters(1);
        if (holderLetsGo) {
            holder.Release();
            clock.AdvanceMilliseconds(20);
        } else {
            clock.AdvanceMilliseconds(29000);
            clock.AwaitWaiters(1);  // still polling one second before the end
            clock.AdvanceMilliseconds(1000);
        }
        second.join();
        EXPECT_EQ(result, holderLetsGo ? FolderLock::Result::kLocked : FolderLock::Result::kBusy) << holderLetsGo;
        EXPECT_EQ(waiter.IsHeld(), holderLetsGo);
    }
}

}  // namespace
}  // namespace Quor::FileSystem::Impl
