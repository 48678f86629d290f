#include "platform/ProcessTable.h"

#include <gtest/gtest.h>
#include <limits.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "platform/FakeProcessTable.h"

extern char** environ;

namespace Quor::Platform {
namespace {

TEST(ProcessTable, ListsThisProcessWithItsExecutable) {
    std::vector<uint32_t> pids;
    ASSERT_EQ(ProcessTable().ListProcessIds(pids), 0);
    EXPECT_NE(std::find(pids.begin(), pids.end(), static_cast<uint32_t>(getpid())), pids.end());
    std::string path;
    ASSERT_TRUE(ProcessTable().ExecutablePath(static_cast<uint32_t>(getpid()), path));
    char self[PATH_MAX];
    ASSERT_NE(realpath("/proc/self/exe", self), nullptr);
    EXPECT_EQ(path, self);
    EXPECT_FALSE(ProcessTable().ExecutablePath(0, path));
    EXPECT_FALSE(ProcessTable().ExecutablePath(0x7FFFFFF0, path));
}

// A program whose file was replaced or removed while it runs keeps its name.
TEST(ProcessTable, RemovedExecutableKeepsItsPath) {
    char folder[] = "/tmp/proctable-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string program = std::string(folder) + "/quor_sleeper";
    std::filesystem::copy_file("/bin/sleep", program);
    const char* argv[] = {program.c_str(), "30", nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, program.c_str(), nullptr, nullptr, const_cast<char**>(argv), environ), 0);
    std::filesystem::remove_all(folder);
    std::string path;
    const bool read = ProcessTable().ExecutablePath(static_cast<uint32_t>(pid), path);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    ASSERT_TRUE(read);
    EXPECT_EQ(path, program);
}

TEST(ProcessTable, TestsCanInstallTheirOwnTable) {
    FakeProcessTable fake;
    fake.Add(42, "/opt/x/tool");
    SetProcessTableForTests(&fake);
    std::vector<uint32_t> pids;
    EXPECT_EQ(ProcessTable().ListProcessIds(pids), 0);
    EXPECT_EQ(pids, std::vector<uint32_t>{42});
    EXPECT_EQ(fake.listings, 1);
    SetProcessTableForTests(nullptr);
    ASSERT_EQ(ProcessTable().ListProcessIds(pids), 0);
    EXPECT_GT(pids.size(), 1u);
}

}  // namespace
}  // namespace Quor::Platform
