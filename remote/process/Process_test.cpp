#include "remote/process/Process.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "foundation/CStd/CStd.h"
#include "foundation/OsContext.h"
#include "platform/FakeProcessTable.h"
#include "platform/FakeVolumeProperties.h"
#include "remote/process/ChildProcess.h"
#include "remote/process/ProcessTestSupport.h"
#include "tests/kit/TempDir.h"

namespace Vorn {
namespace {

using ProcessTest::MakeScript;
using ProcessTest::MakeSleeper;
using ProcessTest::Reaper;
using ProcessTest::Start;
using QuorTest::ReadFile;
using QuorTest::TempDir;

constexpr uint32_t kNoLimit = 0xFFFFFFFFu;

TEST(ProcessCreate, TimedWaitGivesExitedAndTheExitCode) {
    ProcessLaunchRecord record;
    ASSERT_TRUE(Start("/bin/sh", {"-c", "exit 7"}, record));
    EXPECT_FALSE(record.handle.IsEmpty());
    EXPECT_EQ(record.pid, processGetId(record.handle));
    EXPECT_EQ(processWait(record.handle, 10000), ProcessWaitResult::Exited);
    ProcessExitCode code = 0;
    EXPECT_EQ(processGetExitCode(record.handle, code), GetExitCodeResult::Ok);
    EXPECT_EQ(code, 7);
    EXPECT_FALSE(processIsRunning(record.handle));
}

TEST(ProcessCreate, ChildSeesVornLaunchedAndAnExistingValueIsKept) {
    TempDir dir;
    const std::string script = "printf '%s' \"$vorn_launched\" > \"$1\"";
    for (const char* existing : {static_cast<const char*>(nullptr), "already"}) {
        if (existing) setenv("vorn_launched", existing, 1);
        else unsetenv("vorn_launched");
        ProcessLaunchRecord record;
        ASSERT_TRUE(Start("/bin/sh", {"-c", script, "sh", dir / "env"}, record));
        ASSERT_EQ(processWait(record.handle, kNoLimit), ProcessWaitResult::Exited);
        EXPECT_EQ(ReadFile(dir / "env"), existing ? existing : "true");
    }
    unsetenv("vorn_launched");
    // This process's own environment is left alone.
    EXPECT_EQ(getenv("vorn_launched"), nullptr);
}

// The program sees its path as argv[0] and then the arguments; without a path the first argument
// names the program and is passed as well.
TEST(ProcessCreate, PassesPathThenArgumentsAndHonoursTheWorkingFolder) {
    TempDir dir;
    const std::string script = MakeScript(dir / "args.sh", "pwd > out; for a in \"$0\" \"$@\"; do echo \"$a\" >> out; done");
    ProcessLaunchRecord record;
    ASSERT_TRUE(Start(script, {"one", "two words"}, record, dir.path().c_str()));
    ASSERT_EQ(processWait(record.handle, kNoLimit), ProcessWaitResult::Exited);
    char real[PATH_MAX];
    ASSERT_NE(realpath(dir.path().c_str(), real), nullptr);
    EXPECT_EQ(ReadFile(dir / "out"), std::string(real) + "\n" + script + "\none\ntwo words\n");

    unlink((dir / "out").c_str());
    const char* argv[] = {script.c_str(), "x"};
    ProcessLaunchRecord second;
    ASSERT_TRUE(processCreate(nullptr, dir.path().c_str(), 2, argv, &second));
    ASSERT_EQ(processWait(second.handle, kNoLimit), ProcessWaitResult::Exited);
    EXPECT_EQ(ReadFile(dir / "out"), std::string(real) + "\n" + script + "\n" + script + "\nx\n");
}

TEST(ProcessCreate, RefusesWhatCannotStartAndLeavesTheRecordAlone) {
    TempDir dir;
    ProcessLaunchRecord record;
    record.pid = 1234;
    const char* none[] = {nullptr};
    EXPECT_FALSE(processCreate(nullptr, nullptr, 0, none, &record));
    EXPECT_FALSE(processCreate(nullptr, nullptr, 1, none, &record));
    EXPECT_FALSE(Start(dir / "missing", {}, record));
    EXPECT_FALSE(Start("/bin/true", {}, record, (dir / "no/such/folder").c_str()));
    QuorTest::WriteFile(dir / "not-a-program", "plain text, no interpreter line");
    EXPECT_FALSE(Start(dir / "not-a-program", {}, record));
    EXPECT_TRUE(record.handle.IsEmpty());
    EXPECT_EQ(record.pid, 1234u);
    // A null record is allowed.
    EXPECT_TRUE(processCreate("/bin/true", nullptr, 0, nullptr, nullptr));
}

// Children are started through the process-start seam: a start the system refuses (EAGAIN: the
// process limit) fails the create and leaves the record alone; one it accepts is the one asked for.
TEST(ProcessCreate, StartsGoThroughTheProcessStartSeam) {
    class RecordingStarts final : public Quor::Platform::IProcessStarts {
    public:
        int Spawn(pid_t* pid, const char* path, const posix_spawn_file_actions_t* actions,
                  const posix_spawnattr_t* attributes, char* const argv[], char* const envp[]) override {
            paths.push_back(path);
            arguments.clear();
            for (char* const* at = argv; *at; ++at) arguments.push_back(*at);
            if (refuse) return EAGAIN;
            return Quor::Platform::RealProcessStarts().Spawn(pid, path, actions, attributes, argv, envp);
        }
        bool refuse = true;
        std::vector<std::string> paths;
        std::vector<std::string> arguments;
    } starts;
    Vorn::ScopedOsContext os({.processStarts = &starts});
    ProcessLaunchRecord record;
    record.pid = 1234;
    const char* argv[] = {"-c", "exit 3"};
    EXPECT_FALSE(processCreate("/bin/sh", nullptr, 2, argv, &record));
    EXPECT_TRUE(record.handle.IsEmpty());
    EXPECT_EQ(record.pid, 1234u);
    EXPECT_EQ(starts.paths, std::vector<std::string>{"/bin/sh"});
    EXPECT_EQ(starts.arguments, (std::vector<std::string>{"/bin/sh", "-c", "exit 3"}));

    starts.refuse = false;
    ASSERT_TRUE(processCreate("/bin/sh", nullptr, 2, argv, &record));
    ASSERT_EQ(processWait(record.handle, kNoLimit), ProcessWaitResult::Exited);
    ProcessExitCode code = -1;
    EXPECT_EQ(processGetExitCode(record.handle, code), GetExitCodeResult::Ok);
    EXPECT_EQ(code, 3);
    EXPECT_EQ(starts.paths.size(), 2u);
}

TEST(ProcessCreate, MakesAFileExecutableBeforeStartingIt) {
    TempDir dir;
    const std::string script = MakeScript(dir / "tool", "exit 5", 0644);
    ProcessLaunchRecord record;
    ASSERT_TRUE(Start(script, {}, record));
    struct stat st;
    ASSERT_EQ(stat(script.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u);
    ASSERT_EQ(processWait(record.handle, kNoLimit), ProcessWaitResult::Exited);
    ProcessExitCode code = -1;
    EXPECT_EQ(processGetExitCode(record.handle, code), GetExitCodeResult::Ok);
    EXPECT_EQ(code, 5);
}

TEST(MakeFileExecutable, AddsReadAndExecuteForEveryone) {
    TempDir dir;
    EXPECT_FALSE(MakeFileExecutable((dir / "missing").c_str()));
    const struct {
        mode_t before, after;
    } cases[] = {{0644, 0755}, {0600, 0755}, {0555, 0555}, {0700, 0755}, {04711, 04755}};
    for (const auto& c : cases) {
        QuorTest::WriteFile(dir / "f", "x");
        chmod((dir / "f").c_str(), c.before);
        EXPECT_TRUE(MakeFileExecutable((dir / "f").c_str())) << std::oct << c.before;
        struct stat st;
        ASSERT_EQ(stat((dir / "f").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, c.after) << std::oct << c.before;
    }
}

// A program that ends before anyone looks keeps its handle, and its exit code stays readable.
TEST(ProcessCreate, ProgramThatEndsAtOnceKeepsHandleAndExitCode) {
    ProcessLaunchRecord record;
    ASSERT_TRUE(Start("/bin/sh", {"-c", "exit 3"}, record));
    ASSERT_FALSE(record.handle.IsEmpty());
    // Its waiter has collected it before anyone looks.
    for (int i = 0; i < 3000 && ChildProcess::Find(static_cast<pid_t>(record.pid)); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(ChildProcess::Find(static_cast<pid_t>(record.pid)), nullptr) << "the program did not end";
    ProcessExitCode code = -1;
    EXPECT_EQ(processGetExitCode(record.handle, code), GetExitCodeResult::Ok);
    EXPECT_EQ(code, 3);
    EXPECT_EQ(processWait(record.handle, 1000), ProcessWaitResult::Exited);
    EXPECT_EQ(processGetExitCode(record.handle, code), GetExitCodeResult::Ok);
    EXPECT_EQ(code, 3);
}

TEST(ProcessWait, TimeOutsEmptyHandlesAndTermination) {
    ProcessLaunchRecord empty;
    ProcessExitCode code = 0;
    EXPECT_EQ(processWait(empty.handle, 100), ProcessWaitResult::InvalidHandle);
    EXPECT_EQ(processGetExitCode(empty.handle, code), GetExitCodeResult::InvalidHandle);
    EXPECT_EQ(code, -1);
    EXPECT_FALSE(processTerminate(empty.handle));
    EXPECT_FALSE(processIsRunning(empty.handle));
    EXPECT_EQ(processGetId(empty.handle), 0u);

    Reaper reaper;
    ProcessLaunchRecord record;
    ASSERT_TRUE(Start("/bin/sleep", {"30"}, record));
    reaper.Keep(record);
    EXPECT_TRUE(processIsRunning(record.handle));
    EXPECT_EQ(processWait(record.handle, 0), ProcessWaitResult::TimedOut);
    EXPECT_EQ(processWait(record.handle, 200), ProcessWaitResult::TimedOut);
    EXPECT_EQ(processGetExitCode(record.handle, code), GetExitCodeResult::StillRunning);
    EXPECT_EQ(code, -1);
    EXPECT_TRUE(processTerminate(record.handle));
    EXPECT_EQ(processWait(record.handle, kNoLimit), ProcessWaitResult::Exited);
    EXPECT_EQ(processGetExitCode(record.handle, code), GetExitCodeResult::Ok);
    EXPECT_EQ(code, 128 + SIGTERM);
    // Time-out 0 does not look, even at a program that has ended.
    EXPECT_EQ(processWait(record.handle, 0), ProcessWaitResult::TimedOut);
    // Ended and collected: nothing is sent to its old pid any more.
    EXPECT_TRUE(processTerminate(record.handle));
    EXPECT_FALSE(processForceTerminate(record.pid));
}

TEST(ProcessWait, ByPidForChildrenAndOtherProcesses) {
    TempDir dir;
    Reaper reaper;
    ProcessLaunchRecord child;
    ASSERT_TRUE(Start("/bin/sleep", {"30"}, child));
    reaper.Keep(child);
    EXPECT_TRUE(processExists(child.pid));
    EXPECT_EQ(processWaitPid(child.pid, 100), ProcessWaitResult::TimedOut);
    EXPECT_TRUE(processForceTerminate(child.pid));
    EXPECT_EQ(processWaitPid(child.pid, 10000), ProcessWaitResult::Exited);
    // The exit code is still there for the handle.
    ProcessExitCode code = -1;
    EXPECT_EQ(processGetExitCode(child.handle, code), GetExitCodeResult::Ok);
    EXPECT_EQ(code, 128 + SIGKILL);
    EXPECT_FALSE(processExists(child.pid));
    // Once collected it is no longer a child of this process; a wait without limit still sees
    // that it has ended (a program that ends before anyone waits for it).
    for (int i = 0; i < 1000 && ChildProcess::Find(static_cast<pid_t>(child.pid)); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(ChildProcess::Find(static_cast<pid_t>(child.pid)), nullptr);
    EXPECT_EQ(processWaitPid(child.pid, kNoLimit), ProcessWaitResult::Exited);

    // A process started by a child is not this process's child: waiting for it lasts while it
    // runs, and ends once it is gone (its own parent, the shell, collects it).
    ProcessLaunchRecord shell;
    ASSERT_TRUE(Start("/bin/sh", {"-c", "/bin/sleep 30 & echo $! > \"$1.part\"; mv \"$1.part\" \"$1\"; wait", "sh",
                                  dir / "pid"},
                      shell));
    reaper.Keep(shell);
    for (int i = 0; i < 500 && !QuorTest::Exists(dir / "pid"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const ProcessId other = static_cast<ProcessId>(std::stoul(ReadFile(dir / "pid")));
    reaper.Keep(other);
    EXPECT_TRUE(processExists(other));
    EXPECT_EQ(processWaitPid(other, 300), ProcessWaitResult::TimedOut);
    EXPECT_TRUE(processForceTerminate(other));
    EXPECT_EQ(processWaitPid(other, 10000), ProcessWaitResult::Exited);
    EXPECT_EQ(processWaitPid(other, kNoLimit), ProcessWaitResult::Exited);
    EXPECT_EQ(processWait(shell.handle, 10000), ProcessWaitResult::Exited);
    EXPECT_EQ(processWaitPid(0, 100), ProcessWaitResult::InvalidHandle);
}

// Parent id and state of a process, from /proc/<pid>/stat.
bool ReadStat(const std::string& pid, long& parent, char& state) {
    std::ifstream in("/proc/" + pid + "/stat");
    std::string text;
    if (!std::getline(in, text)) return false;
    const size_t close = text.rfind(')');
    if (close == std::string::npos || close + 4 > text.size()) return false;
    state = text[close + 2];
    parent = std::strtol(text.c_str() + close + 4, nullptr, 10);
    return true;
}

// Children of this process: all of them, and those that are zombies.
void CountChildren(int& all, int& zombies) {
    all = zombies = 0;
    DIR* d = opendir("/proc");
    ASSERT_NE(d, nullptr);
    while (dirent* e = readdir(d)) {
        long parent = 0;
        char state = 0;
        if (e->d_name[0] < '0' || e->d_name[0] > '9' || !ReadStat(e->d_name, parent, state)) continue;
        if (parent != getpid()) continue;
        ++all;
        if (state == 'Z') ++zombies;
    }
    closedir(d);
}

TEST(ProcessCreate, ChildrenNobodyWaitsForAreCollected) {
    for (int i = 0; i < 200; ++i) {
        if (i % 2) {
            ASSERT_TRUE(processCreate("/bin/true", nullptr, 0, nullptr, nullptr)) << i;
        } else {
            ProcessLaunchRecord dropped;  // the handle dies at once
            ASSERT_TRUE(Start("/bin/sh", {"-c", "exit 1"}, dropped)) << i;
        }
    }
    int all = 0, zombies = 0;
    for (int attempt = 0; attempt < 300; ++attempt) {
        CountChildren(all, zombies);
        if (all == 0) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(zombies, 0);
    EXPECT_EQ(all, 0);
}

TEST(ProcessTable, ListsAndEnumeratesProcesses) {
    Reaper reaper;
    ProcessLaunchRecord child;
    ASSERT_TRUE(Start("/bin/sleep", {"30"}, child));
    reaper.Keep(child);
    ProcessRecord* table = nullptr;
    uint32_t count = 0;
    ASSERT_EQ(processGetTable(&table, &count), 0);
    ASSERT_NE(table, nullptr);
    bool self = false, started = false;
    for (uint32_t i = 0; i < count; ++i) {
        self = self || table[i].pid == processGetCurrentId();
        started = started || table[i].pid == child.pid;
    }
    std_free(table);
    EXPECT_TRUE(self);
    EXPECT_TRUE(started);

    ProcessRecord few[2];
    EXPECT_EQ(processEnumerate(few, &count, 2), 0);
    EXPECT_EQ(count, 2u);

    Quor::Platform::FakeProcessTable fake;
    fake.FailWith(EACCES);
    Vorn::ScopedOsContext os({.processTable = &fake});
    EXPECT_EQ(processGetTable(&table, &count), EACCES);
    EXPECT_EQ(table, nullptr);
}

TEST(ProcessPaths, ExecutablePathsOfProcessesAndOfThisProgram) {
    TempDir dir;
    Reaper reaper;
    const std::string sleeper = MakeSleeper(dir.path(), "quor_sleeper.bin");
    ProcessLaunchRecord child;
    ASSERT_TRUE(Start(sleeper, {"30"}, child));
    reaper.Keep(child);
    char path[1024];
    ASSERT_TRUE(processGetPath(child.pid, sizeof path, path));
    EXPECT_EQ(std::string(path), sleeper);
    char small[8];
    ASSERT_TRUE(processGetPath(child.pid, sizeof small, small));
    EXPECT_EQ(std::string(small), sleeper.substr(0, 7));
    EXPECT_FALSE(processGetPath(child.pid, 0, path));
    EXPECT_FALSE(processGetPath(0x7FFFFFF0, sizeof path, path));

    char self[PATH_MAX];
    ASSERT_NE(realpath("/proc/self/exe", self), nullptr);
    ASSERT_TRUE(processGetModuleFullPath(sizeof path, path));
    EXPECT_EQ(std::string(path), self);
    ASSERT_TRUE(processGetModuleFileName(sizeof path, path));
    EXPECT_EQ(std::string(path), std::string(self).substr(std::string(self).rfind('/') + 1));
    ASSERT_TRUE(processGetModuleDirectory(sizeof path, path));
    EXPECT_EQ(std::string(path), std::string(self).substr(0, std::string(self).rfind('/')));
    EXPECT_FALSE(processGetModuleDirectory(512, path));
}

TEST(ProcessFind, ByBundleAndTerminateAllByPath) {
    TempDir dir;
    Reaper reaper;
    const std::string bundle = dir / "Quor Tool.app";
    ProcessLaunchRecord inBundle;
    ASSERT_TRUE(Start(MakeSleeper(bundle + "/Contents/MacOS", "quortool"), {"30"}, inBundle));
    reaper.Keep(inBundle);
    QuorTest::MakeDirs(dir / "Idle.app/Contents/MacOS");
    EXPECT_EQ(processFindByBundle(bundle.c_str()), inBundle.pid);
    EXPECT_EQ(processFindByBundle((bundle + "/").c_str()), inBundle.pid);
    EXPECT_EQ(processFindByBundle((dir / "Idle.app").c_str()), 0u);
    EXPECT_EQ(processFindByBundle((dir / "Missing.app").c_str()), 0u);

    // Matched by full path, by file name with extension, and by file name without it.
    const std::string full = MakeSleeper(dir.path(), "quor_victim_a.bin");
    MakeSleeper(dir.path(), "quor_victim_b.bin");
    MakeSleeper(dir.path(), "quor_victim_c.bin");
    ProcessLaunchRecord a, b, c;
    ASSERT_TRUE(Start(full, {"30"}, a));
    ASSERT_TRUE(Start(dir / "quor_victim_b.bin", {"30"}, b));
    ASSERT_TRUE(Start(dir / "quor_victim_c.bin", {"30"}, c));
    reaper.Keep(a);
    reaper.Keep(b);
    reaper.Keep(c);
    EXPECT_TRUE(processTerminateAllByPath(full.c_str(), true));
    EXPECT_TRUE(processTerminateAllByPath("quor_victim_b.bin", true));
    EXPECT_TRUE(processTerminateAllByPath("quor_victim_c", true));
    for (auto* r : {&a, &b, &c}) {
        ASSERT_EQ(processWait(r->handle, 10000), ProcessWaitResult::Exited);
        ProcessExitCode code = -1;
        EXPECT_EQ(processGetExitCode(r->handle, code), GetExitCodeResult::Ok);
        EXPECT_EQ(code, 128 + SIGKILL);
    }
    EXPECT_FALSE(processTerminateAllByPath("quor_victim_c", true));

    // This process is spared when asked (a scripted table lists only it).
    Quor::Platform::FakeProcessTable fake;
    fake.Add(processGetCurrentId(), "/opt/quor/selfname");
    Vorn::ScopedOsContext os({.processTable = &fake});
    EXPECT_FALSE(processTerminateAllByPath("selfname", true));
}

TEST(AutoProcessHandle, TransferAssignAndReset) {
    AutoProcessHandle a(new ProcessCell);
    ProcessCell* cell = a.Get();
    AutoProcessHandle b;
    b.Transfer(a);
    EXPECT_TRUE(a.IsEmpty());
    EXPECT_EQ(b.Get(), cell);
    b.Assign(cell);  // the same cell: kept
    EXPECT_EQ(b.Get(), cell);
    b.Assign(new ProcessCell);  // the old one is deleted (the sanitizer build checks)
    EXPECT_NE(b.Get(), nullptr);
    b.Reset();
    EXPECT_TRUE(b.IsEmpty());
    EXPECT_EQ(b.Child(), nullptr);
}

TEST(IsVolumeCaseSensitive, FalseOnLinuxAndTestsChooseTheAnswer) {
    EXPECT_FALSE(IsVolumeCaseSensitive("/tmp"));
    Quor::Platform::FakeVolumeProperties caseSensitive(true);
    {
        Vorn::ScopedOsContext os({.volumes = &caseSensitive});
        EXPECT_TRUE(IsVolumeCaseSensitive("/Volumes/Kindrel"));
    }
    EXPECT_EQ(caseSensitive.asked, std::vector<std::string>{"/Volumes/Kindrel"});
    EXPECT_FALSE(IsVolumeCaseSensitive("/tmp"));
}

}  // namespace
}  // namespace Vorn
