#include "kernel/SelfUpdateBound.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/kit/TempDir.h"

namespace {

using Quor::Orvane::KernelFolderBytes;
using Quor::Orvane::SelfUpdateBudget;
using Quor::Orvane::SelfUpdateByteCap;

// The folder's own regular files count; the staging folder and whatever a link points at do not,
// so that neither an earlier update nor a link to a huge file widens the bound.
TEST(SelfUpdateBound, CountsTheFoldersOwnFilesOnly) {
    QuorTest::TempDir dir;
    const std::string system = dir / "system";
    QuorTest::WriteFile(system + "/Orvane.app/Contents/MacOS/Orvane", std::string(3000, 'k'));
    QuorTest::WriteFile(system + "/jpatch", std::string(500, 'j'));
    QuorTest::WriteFile(system + "/temp/Orvane.app/Contents/MacOS/Orvane", std::string(9000, 's'));
    QuorTest::WriteFile(system + "/nested/temp/kept", std::string(7, 'n'));  // only the top "temp" is staging
    QuorTest::WriteFile(dir / "huge", std::string(100000, 'h'));
    ASSERT_EQ(0, ::symlink((dir / "huge").c_str(), (system + "/link").c_str()));
    ASSERT_EQ(0, ::symlink(dir.path().c_str(), (system + "/folderlink").c_str()));
    EXPECT_EQ(3507u, KernelFolderBytes(system));
    EXPECT_EQ(Quor::Orvane::kSelfUpdateMinimumBytes, SelfUpdateByteCap(system));  // a tiny folder
    EXPECT_EQ(0u, KernelFolderBytes(dir / "missing"));
}

// The files of one update share the bound: each may take what the earlier ones left.
TEST(SelfUpdateBound, FilesShareOneBudget) {
    SelfUpdateBudget budget(1000);
    EXPECT_EQ(1000, budget.GetFileMaximumBytes());
    EXPECT_EQ(S_OK, budget.GetFileProgressCallback(600));
    EXPECT_EQ(400, budget.GetFileMaximumBytes());
    EXPECT_EQ(S_OK, budget.GetFileProgressCallback(900));
    EXPECT_EQ(0, budget.GetFileMaximumBytes());
}

}  // namespace
