// What the kernel installs is never group- or world-writable, whatever file-creation mask it was
// started with: another user must not be able to replace a program that root then runs.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/kit/AppBundle.h"
#include "tests/orvane/OrvaneTest.h"

namespace OrvaneTest {
namespace {

namespace fs = std::filesystem;

// `path` and, for a folder, everything below it that others may write, with its mode (decimal).
std::string WritableByOthers(const std::string& folder) {
    std::string found;
    auto check = [&found](const fs::path& path) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0 && !S_ISLNK(st.st_mode) && (st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
            found += path.string() + " " + std::to_string(st.st_mode & 07777) + "\n";
    };
    check(folder);
    if (fs::is_directory(folder))
        for (const auto& entry : fs::recursive_directory_iterator(folder)) check(entry.path());
    return found;
}

struct ScopedUmask {
    explicit ScopedUmask(mode_t mask) : previous(::umask(mask)) {}
    ~ScopedUmask() { ::umask(previous); }
    mode_t previous;
};

TEST_F(OrvaneTest, AKernelStartedWithAnOpenUmaskInstallsAndRunsNothingOthersMayWrite) {
    Serve();
    std::string errors;
    {
        ScopedUmask open(0);  // inherited by the kernel
        ASSERT_EQ(0, QuorTest::RunOrvane(*root, {"-noupdate", "updateandrun", "kiv_launcher", "KivLauncher.app"}, {},
                                         &errors))
            << errors;
    }
    ASSERT_TRUE(QuorTest::WaitForFile(record()));  // the installed program was started
    const std::string program =
        root->root() + "/projects/kiv_launcher/releases/0.0.0.1/deploy/KivLauncher.app/Contents/MacOS/KivLauncher";
    ASSERT_TRUE(fs::exists(program));
    EXPECT_EQ("", WritableByOthers(root->root() + "/projects"));
    EXPECT_EQ("", WritableByOthers(root->root() + "/quor_orvane.log"));
}

}  // namespace
}  // namespace OrvaneTest
