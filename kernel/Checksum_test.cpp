#include "kernel/Checksum.h"

#include <unistd.h>

#include <cerrno>

#include <gtest/gtest.h>

#include "common/LocalRootFolder.h"
#include "foundation/OsContext.h"
#include "foundation/testing/FaultInjectingFileSystem.h"
#include "tests/kit/TempDir.h"

namespace {

std::string Cwd() {
    char buffer[4096];
    return getcwd(buffer, sizeof buffer) ? buffer : "";
}

TEST(Checksum, ReportsFilesLinksAndFailuresWithoutMovingTheWorkingFolder) {
    QuorTest::QuorTree tree;
    const std::string root = tree.root();
    QuorTest::WriteFile(root + "a.txt", "abc");
    QuorTest::WriteFile(root + "sub/deeper/b.bin", "");
    ASSERT_EQ(symlink((root + "missing").c_str(), (root + "dangling").c_str()), 0);
    ASSERT_EQ(symlink(root.c_str(), (root + "sub/loop").c_str()), 0);
    QuorTest::WriteFile(tree.system() + "/checksums.txt", "an older report, longer than the new one\n");
    const std::string before = Cwd();

    ASSERT_EQ(Quor::Orvane::Checksum::ChecksumAllFilesInQuorDirectories(), S_OK);

    EXPECT_EQ(Cwd(), before);
    const std::string expected =
        "Base Directory: " + Quor::Common::LocalRootFolder::Get() + "\n" +
        "/a.txt\t3 bytes\t900150983cd24fb0d6963f7d28e17f72\n"
        "/dangling\tFILESIZE FAILURE\tMD5 HASH FAILURE\n"
        "/sub/deeper/b.bin\t0 bytes\td41d8cd98f00b204e9800998ecf8427e\n";
    EXPECT_EQ(QuorTest::ReadFile(tree.system() + "/checksums.txt"), expected);
}

TEST(Checksum, TreeOfEmptyFoldersGivesOnlyTheFirstLine) {
    QuorTest::QuorTree tree;
    ASSERT_EQ(Quor::Orvane::Checksum::ChecksumAllFilesInQuorDirectories(), S_OK);
    EXPECT_EQ(QuorTest::ReadFile(tree.system() + "/checksums.txt"), "Base Directory: " + Quor::Common::LocalRootFolder::Get() + "\n");
}

TEST(Checksum, ReportThatCannotBeCreatedFails) {
    QuorTest::QuorTree tree;
    QuorTest::FaultInjectingFileSystem faults;
    const size_t open = faults.Fail(QuorTest::FileCall::OpenForWrite, QuorTest::PathMatch::EndingWith("/system/checksums.txt"), ENOSPC);
    Vorn::ScopedOsContext os({.files = &faults});
    EXPECT_LT(Quor::Orvane::Checksum::ChecksumAllFilesInQuorDirectories(), 0);
    EXPECT_EQ(faults.Failed(open), 1u);
    EXPECT_FALSE(QuorTest::Exists(tree.system() + "/checksums.txt"));
}

}  // namespace
