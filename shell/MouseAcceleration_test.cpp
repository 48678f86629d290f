#include "shell/MouseAcceleration.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/FakeHidParameters.h"
#include "tests/kit/TempDir.h"

namespace Quor::Shell {
namespace {

constexpr const char* ACCELERATION = "HIDMouseAcceleration";

class MouseAccelerationTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("HOME", home.path().c_str(), 1);
        Platform::SetHidParametersForTests(&hid);
    }
    void TearDown() override { Platform::SetHidParametersForTests(nullptr); }

    std::string SavedPath() const { return home / ".kivrecordedvals"; }
    void WriteSaved(const std::string& bytes) { std::ofstream(SavedPath(), std::ios::binary) << bytes; }
    void WriteSaved(uint32_t value) { WriteSaved(std::string(reinterpret_cast<const char*>(&value), 4)); }
    bool SavedExists() const {
        struct stat st;
        return lstat(SavedPath().c_str(), &st) == 0;
    }
    uint32_t SavedValue() const {
        std::ifstream in(SavedPath(), std::ios::binary);
        uint32_t value = 0;
        in.read(reinterpret_cast<char*>(&value), 4);
        EXPECT_EQ(in.gcount(), 4);
        return value;
    }

    QuorTest::TempDir home;
    Platform::FakeHidParameters hid;
};

TEST_F(MouseAccelerationTest, RestoreAppliesTheSavedValueOnlyWhileDisabled) {
    hid.values[ACCELERATION] = DISABLED_MOUSE_ACCELERATION;
    WriteSaved(0x00028000u);
    RestoreMouseAcceleration();
    EXPECT_EQ(hid.values[ACCELERATION], 0x00028000u);
    EXPECT_FALSE(SavedExists());
    EXPECT_EQ(hid.opened, 0);

    hid.values[ACCELERATION] = 0x00010000;
    hid.sets.clear();
    WriteSaved(0x00028000u);
    RestoreMouseAcceleration();
    EXPECT_TRUE(hid.sets.empty());
    EXPECT_FALSE(SavedExists());
}

TEST_F(MouseAccelerationTest, ShortSavedFileIsRemovedUnused) {
    hid.values[ACCELERATION] = DISABLED_MOUSE_ACCELERATION;
    WriteSaved(std::string("\x01\x02", 2));
    RestoreMouseAcceleration();
    EXPECT_TRUE(hid.sets.empty());
    EXPECT_EQ(hid.values[ACCELERATION], DISABLED_MOUSE_ACCELERATION);
    EXPECT_FALSE(SavedExists());
}

TEST_F(MouseAccelerationTest, TwoSavesKeepTheFirstValue) {
    hid.values[ACCELERATION] = 0x00030000;
    SaveAndDisableMouseAcceleration();
    EXPECT_EQ(hid.values[ACCELERATION], DISABLED_MOUSE_ACCELERATION);
    EXPECT_EQ(SavedValue(), 0x00030000u);
    hid.values[ACCELERATION] = 0x00050000;
    SaveAndDisableMouseAcceleration();
    EXPECT_EQ(SavedValue(), 0x00030000u);
    EXPECT_EQ(hid.opened, 0);

    RestoreMouseAcceleration();
    EXPECT_EQ(hid.values[ACCELERATION], 0x00030000u);
    EXPECT_FALSE(SavedExists());
}

TEST_F(MouseAccelerationTest, NoEventStatusChangesNothing) {
    hid.available = false;
    hid.values[ACCELERATION] = DISABLED_MOUSE_ACCELERATION;
    WriteSaved(0x00028000u);
    RestoreMouseAcceleration();
    SaveAndDisableMouseAcceleration();
    EXPECT_TRUE(hid.sets.empty());
    EXPECT_TRUE(SavedExists());
    EXPECT_EQ(SavedValue(), 0x00028000u);
}

TEST_F(MouseAccelerationTest, NoHomeDoesNothing) {
    unsetenv("HOME");
    hid.values[ACCELERATION] = 0x00030000;
    SaveAndDisableMouseAcceleration();
    RestoreMouseAcceleration();
    EXPECT_TRUE(hid.sets.empty());
    EXPECT_EQ(hid.opened, 0);
}

TEST_F(MouseAccelerationTest, SaveDoesNotFollowALinkWhereTheFileBelongs) {
    const std::string target = home / "target";
    ASSERT_EQ(symlink(target.c_str(), SavedPath().c_str()), 0);
    hid.values[ACCELERATION] = 0x00030000;
    SaveAndDisableMouseAcceleration();
    struct stat st;
    EXPECT_NE(stat(target.c_str(), &st), 0);
    EXPECT_EQ(hid.values[ACCELERATION], DISABLED_MOUSE_ACCELERATION);
}

// A pointer store that writes "o" on a pipe for every open.
class PipeHidParameters : public Platform::FakeHidParameters {
public:
    int fd = -1;
    bool Open() override {
        EXPECT_EQ(write(fd, "o", 1), 1);
        return FakeHidParameters::Open();
    }
};

// At exit the disabled acceleration is restored, once however many saves there were.
TEST_F(MouseAccelerationTest, ExitRestoresOnce) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(fds[0]);
        PipeHidParameters pipeHid;
        pipeHid.fd = fds[1];
        pipeHid.values[ACCELERATION] = 0x00030000;
        Platform::SetHidParametersForTests(&pipeHid);
        for (int n = 0; n < 3; ++n) SaveAndDisableMouseAcceleration();
        if (write(fds[1], "|", 1) != 1) _exit(2);
        exit(0);  // runs the registered restore
    }
    close(fds[1]);
    std::string opens;
    char c;
    while (read(fds[0], &c, 1) == 1) opens += c;
    close(fds[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(opens, "ooo|o");
    EXPECT_FALSE(SavedExists());
}

}  // namespace
}  // namespace Quor::Shell
