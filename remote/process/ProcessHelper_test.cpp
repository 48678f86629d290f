#include "foundation/OsContext.h"
#include "remote/process/ProcessHelper.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <thread>

#include "platform/FakeProcessTable.h"
#include "platform/ManualClock.h"
#include "remote/process/Process.h"
#include "remote/process/ProcessTestSupport.h"
#include "tests/kit/TempDir.h"

namespace Quor::Common {
namespace {

using ProcessTest::MakeSleeper;
using ProcessTest::Reaper;
using ProcessTest::Start;

// WaitForProcessesToExit(name, timeoutMs) on a thread of its own, the manual clock moved on one
// second each time the wait sleeps, at most `seconds` times; its result.
bool WaitWithClock(Platform::ManualClock& clock, const std::string& name, uint32_t timeoutMs, int seconds,
                   const std::function<void(int)>& atSleep = {}) {
    std::atomic<bool> result{false};
    std::thread waiter([&] { result = ProcessHelper::WaitForProcessesToExit(name, timeoutMs); });
    for (int i = 1; i <= seconds; ++i) {
        clock.AwaitWaiters(1);
        if (atSleep) atSleep(i);
        clock.AdvanceMilliseconds(1000);
    }
    waiter.join();
    return result;
}

// A name no other process on the machine has.
std::string UniqueName(const char* tag) { return std::string("quorhelper_") + tag + "_" + std::to_string(getpid()); }

TEST(ProcessHelper, CountsTerminatesAndWaitsByName) {
    QuorTest::TempDir dir;
    Reaper reaper;
    const std::string name = UniqueName("count");
    // One copy with an extension: it matches by the name without it.
    const std::string plain = MakeSleeper(dir.path(), name);
    const std::string withExtension = MakeSleeper(dir / "other", name + ".bin");
    Vorn::ProcessLaunchRecord first, second;
    ASSERT_TRUE(Start(plain, {"30"}, first));
    ASSERT_TRUE(Start(withExtension, {"30"}, second));
    reaper.Keep(first);
    reaper.Keep(second);

    EXPECT_EQ(ProcessHelper::CountProcessesByName(name), 2u);
    EXPECT_TRUE(ProcessHelper::AnyProcessRunning(name));
    EXPECT_EQ(ProcessHelper::CountProcessesByName(name + ".bin"), 0u);
    EXPECT_EQ(ProcessHelper::CountProcessesByName(name.substr(0, name.size() - 1)), 0u);

    // Gives up after its time while they still run.
    {
        Platform::ManualClock clock;
        EXPECT_FALSE(WaitWithClock(clock, name, 1500, 2));
    }
    EXPECT_FALSE(ProcessHelper::WaitForProcessesToExit(name, 0));

    EXPECT_TRUE(ProcessHelper::TerminateProcessesByName(name));
    for (auto* r : {&first, &second}) {
        ASSERT_EQ(Vorn::processWait(r->handle, 10000), Vorn::ProcessWaitResult::Exited);
        Vorn::ProcessExitCode code = -1;
        EXPECT_EQ(Vorn::processGetExitCode(r->handle, code), Vorn::GetExitCodeResult::Ok);
        EXPECT_EQ(code, 128 + SIGKILL);
    }
    EXPECT_EQ(ProcessHelper::CountProcessesByName(name), 0u);
    EXPECT_FALSE(ProcessHelper::TerminateProcessesByName(name));
    EXPECT_TRUE(ProcessHelper::WaitForProcessesToExit(name, 5000));
}

TEST(ProcessHelper, NeverCountsTheCallerAndSkipsUnreadableProcesses) {
    Platform::FakeProcessTable table;
    table.Add(Vorn::processGetCurrentId(), "/opt/quor/Orvane");
    table.Add(0x7FFFFF01, "/other/place/Orvane");
    table.Add(0x7FFFFF02, "");  // its executable cannot be read
    table.Add(0x7FFFFF03, "/opt/quor/orvane");  // case matters
    Vorn::ScopedOsContext os({.processTable = &table});
    EXPECT_EQ(ProcessHelper::CountProcessesByName("Orvane"), 1u);
    table.Remove(0x7FFFFF01);
    EXPECT_EQ(ProcessHelper::CountProcessesByName("Orvane"), 0u);
    EXPECT_FALSE(ProcessHelper::AnyProcessRunning("Orvane"));
    table.FailWith(EIO);
    table.Add(0x7FFFFF01, "/other/place/Orvane");
    EXPECT_EQ(ProcessHelper::CountProcessesByName("Orvane"), 0u);
}

TEST(ProcessHelper, NamesLongerThanNinetyNineCharactersMatchOnlyInFull) {
    const std::string longName(120, 'q');
    Platform::FakeProcessTable table;
    table.Add(0x7FFFFF01, "/opt/" + longName);
    Vorn::ScopedOsContext os({.processTable = &table});
    EXPECT_EQ(ProcessHelper::CountProcessesByName(longName), 1u);
    EXPECT_EQ(ProcessHelper::CountProcessesByName(longName.substr(0, 99)), 0u);
}

// With 2500 ms the table is read at 0, 1000 and 2000 ms, then the wait gives up.
TEST(ProcessHelper, WaitLooksOncePerSecond) {
    Platform::ManualClock clock;
    Platform::FakeProcessTable table;
    table.Add(0x7FFFFF01, "/opt/quor/jpatch");
    Vorn::ScopedOsContext os({.processTable = &table});
    EXPECT_FALSE(WaitWithClock(clock, "jpatch", 2500, 3, [&](int second) { EXPECT_EQ(table.listings, second); }));
    EXPECT_EQ(table.listings, 3);
    table.listings = 0;
    table.Remove(0x7FFFFF01);
    EXPECT_TRUE(ProcessHelper::WaitForProcessesToExit("jpatch", 2500));
    EXPECT_EQ(table.listings, 1);
}

// A time-out of 0 looks once and never sleeps: a process that has just ended is gone (true), one
// that still runs is there (false), for both the plain and the scoped wait.
TEST(ProcessHelper, WaitWithoutTimeLooksOnce) {
    ASSERT_EQ(setenv("ORVANE_INSTANCE", "_once", 1), 0);  // before the first use in this process
    QuorTest::TempDir root;
    char resolved[PATH_MAX];
    ASSERT_NE(realpath(root.path().c_str(), resolved), nullptr);
    const std::string kernel = std::string(resolved) + "/system/Orvane.app/Contents/MacOS/Orvane";
    const std::string environment = std::string("ORVANE_INSTANCE=_once") + '\0';
    const ProcessHelper::ProcessScope scope{std::string(resolved) + "/"};
    const struct {
        const char* what;
        bool scoped;
        bool running;
    } cases[] = {
        {"plain wait, the other process has ended", false, false},
        {"plain wait, the other process still runs", false, true},
        {"scoped wait, the other kernel has ended", true, false},
        {"scoped wait, the other kernel still runs", true, true},
    };
    for (const auto& c : cases) {
        Platform::FakeProcessTable table;
        if (c.running) table.AddProcess(0x7FFFFF01, {kernel, true, ::geteuid(), ::geteuid(), environment});
        Vorn::ScopedOsContext os({.processTable = &table});
        const bool gone = c.scoped ? ProcessHelper::WaitForProcessesToExit("Orvane", 0, scope)
                                   : ProcessHelper::WaitForProcessesToExit("Orvane", 0);
        EXPECT_EQ(gone, !c.running) << c.what;
        EXPECT_EQ(table.listings, 1) << c.what;
    }
}

// Only this user's processes, run from below the scope's folder, of this instance, are in scope.
TEST(ProcessHelper, ScopedCallsSeeOnlyThisUsersProcessesOfTheFolderAndInstance) {
    ASSERT_EQ(setenv("ORVANE_INSTANCE", "_scope", 1), 0);  // before the first use in this process
    QuorTest::TempDir root;
    char resolved[PATH_MAX];
    ASSERT_NE(realpath(root.path().c_str(), resolved), nullptr);
    const std::string folder = resolved;
    const std::string kernel = folder + "/system/Orvane.app/Contents/MacOS/Orvane";
    const std::string ours = std::string("PATH=/bin") + '\0' + "ORVANE_INSTANCE=_scope" + '\0';
    const uint32_t me = ::geteuid();
    const uint32_t other = me == 65534 ? 65533 : 65534;

    using Process = Platform::FakeProcessTable::Process;
    const struct {
        const char* what;
        Process process;
        bool inScope;
    } cases[] = {
        {"a kernel of this user, root and instance", {kernel, true, me, me, ours}, true},
        {"the staged kernel below the same root", {folder + "/system/temp/Orvane", true, me, me, ours}, true},
        {"another user's process", {kernel, true, other, other, ours}, false},
        {"a process that changed its effective user", {kernel, true, me, other, ours}, false},
        {"a process that changed its real user", {kernel, true, other, me, ours}, false},
        {"a name taken from the command line only", {kernel, false, me, me, ours}, false},
        {"a kernel of another root", {"/elsewhere/QUOR/system/Orvane", true, me, me, ours}, false},
        {"a folder whose name only begins like the root", {folder + "x/Orvane", true, me, me, ours}, false},
        {"a kernel of another instance", {kernel, true, me, me, std::string("ORVANE_INSTANCE=_other") + '\0'}, false},
        {"a kernel of no instance", {kernel, true, me, me, ""}, false},
    };
    const ProcessHelper::ProcessScope scope{folder + "/"};
    for (const auto& c : cases) {
        Platform::FakeProcessTable table;
        table.AddProcess(0x7FFFFF01, c.process);
        table.AddProcess(Vorn::processGetCurrentId(), {kernel, true, me, me, ours});  // never the caller
        Vorn::ScopedOsContext os({.processTable = &table});
        EXPECT_EQ(ProcessHelper::CountProcessesByName("Orvane", scope), c.inScope ? 1u : 0u) << c.what;
        EXPECT_EQ(ProcessHelper::AnyProcessRunning("Orvane", scope), c.inScope) << c.what;
        if (!c.inScope) {
            EXPECT_TRUE(ProcessHelper::WaitForProcessesToExit("Orvane", 1000, scope)) << c.what;
        }
        EXPECT_EQ(ProcessHelper::CountProcessesByName("Orvane"), 1u) << c.what;  // the unscoped call sees it
    }

    // A folder that cannot be resolved holds nothing.
    Platform::FakeProcessTable table;
    table.AddProcess(0x7FFFFF01, {kernel, true, me, me, ours});
    Vorn::ScopedOsContext os({.processTable = &table});
    EXPECT_EQ(ProcessHelper::CountProcessesByName("Orvane", {folder + "/missing"}), 0u);
    EXPECT_EQ(ProcessHelper::CountProcessesByName("Orvane", {""}), 0u);
}

}  // namespace
}  // namespace Quor::Common
