#include "remote/LocalFileSystemHelper.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/kit/TempDir.h"

namespace {

using Quor::Common::LocalFileSystem;
using Quor::Common::LocalFileSystemHelper;
namespace Time = Quor::Common::Time;

std::string WorkingFolder() { return std::filesystem::current_path().string(); }

void Age(const std::string& path, int days) {
    struct timespec times[2];
    clock_gettime(CLOCK_REALTIME, &times[0]);
    times[0].tv_sec -= static_cast<time_t>(days) * 86400;
    times[1] = times[0];
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

class LocalFileSystemHelperTest : public ::testing::Test {
protected:
    QuorTest::QuorTree m_tree;
    LocalFileSystem m_fs;
    std::string Root() const { return m_tree.root(); }
};

// A symbolic link to a folder outside the tree is removed as a link: the outside folder keeps
// everything, and the working folder (from which the root folder comes) never moves.
TEST_F(LocalFileSystemHelperTest, DeleteDirectoryTreeRemovesLinksNotWhatTheyPointTo) {
    const std::string outside = Root() + "outside";
    QuorTest::WriteFile(outside + "/precious.txt", "keep me");
    QuorTest::WriteFile(outside + "/sub/deeper.txt", "keep me too");
    const std::string tree = Root() + "projects/p/releases/0.0.0.1";
    QuorTest::WriteFile(tree + "/S_OK", "");
    QuorTest::WriteFile(tree + "/deploy/a/b/c.txt", "c");
    QuorTest::MakeDirs(tree + "/deploy/empty");
    ASSERT_EQ(symlink(outside.c_str(), (tree + "/deploy/link-to-outside").c_str()), 0);
    ASSERT_EQ(symlink((outside + "/precious.txt").c_str(), (tree + "/deploy/a/file-link").c_str()), 0);
    const std::string before = WorkingFolder();

    EXPECT_EQ(LocalFileSystemHelper::DeleteDirectoryTree(tree, m_fs), S_OK);
    EXPECT_FALSE(QuorTest::Exists(tree));
    EXPECT_TRUE(QuorTest::Exists(Root() + "projects/p/releases"));
    EXPECT_EQ(QuorTest::ReadFile(outside + "/precious.txt"), "keep me");
    EXPECT_EQ(QuorTest::ReadFile(outside + "/sub/deeper.txt"), "keep me too");
    EXPECT_EQ(WorkingFolder(), before);

    // A dangling link is deleted too, or its folder could never be removed.
    const std::string withDangling = Root() + "projects/p/releases/0.0.0.2";
    QuorTest::MakeDirs(withDangling + "/deploy");
    ASSERT_EQ(symlink((Root() + "gone").c_str(), (withDangling + "/deploy/dangling").c_str()), 0);
    EXPECT_EQ(LocalFileSystemHelper::DeleteDirectoryTree(withDangling, m_fs), S_OK);
    EXPECT_FALSE(QuorTest::Exists(withDangling));

    // A path that is itself a link loses only the link.
    const std::string link = Root() + "top-link";
    ASSERT_EQ(symlink(outside.c_str(), link.c_str()), 0);
    EXPECT_EQ(LocalFileSystemHelper::DeleteDirectoryTree(link, m_fs), S_OK);
    EXPECT_FALSE(QuorTest::Exists(link));
    EXPECT_EQ(QuorTest::ReadFile(outside + "/precious.txt"), "keep me");
}

TEST_F(LocalFileSystemHelperTest, DeleteDirectoryTreeFailuresKeepTheWorkingFolder) {
    const std::string before = WorkingFolder();
    // Nothing there: the failure deletes nothing.
    EXPECT_TRUE(FAILED(LocalFileSystemHelper::DeleteDirectoryTree(Root() + "missing", m_fs)));
    EXPECT_EQ(WorkingFolder(), before);

    // Paths longer than the runtime's 1024-byte path buffers are deleted too.
    const std::string tree = Root() + "tree";
    std::string deep = tree + "/deep";
    while (deep.size() < 1100) deep += "/" + std::string(100, 'd');
    QuorTest::WriteFile(deep + "/far.txt", "x");
    EXPECT_EQ(LocalFileSystemHelper::DeleteDirectoryTree(tree, m_fs), S_OK);
    EXPECT_FALSE(QuorTest::Exists(tree));

    // Entries that cannot be deleted (nothing under /proc can, not even by root): the deletion
    // fails and the working folder has not moved.
    EXPECT_TRUE(FAILED(LocalFileSystemHelper::DeleteDirectoryTree("/proc/self/fdinfo", m_fs)));
    EXPECT_EQ(WorkingFolder(), before);

    // An empty folder is removed; relative paths work too (from the working folder).
    QuorTest::MakeDirs(Root() + "system/empty");
    EXPECT_EQ(LocalFileSystemHelper::DeleteDirectoryTree("empty", m_fs), S_OK);
    EXPECT_FALSE(QuorTest::Exists(Root() + "system/empty"));
    EXPECT_EQ(WorkingFolder(), before);
}

TEST_F(LocalFileSystemHelperTest, CopyDirectoryTree) {
    const std::string source = Root() + "source";
    QuorTest::WriteFile(source + "/a.txt", "a");
    QuorTest::WriteFile(source + "/sub/b.txt", "b");
    QuorTest::WriteFile(source + "/sub/deeper/c.txt", "c");
    QuorTest::MakeDirs(source + "/empty");
    QuorTest::WriteFile(Root() + "target/a.txt", "old a");

    EXPECT_EQ(LocalFileSystemHelper::CopyDirectoryTree(source, Root() + "target", m_fs, true), S_OK);
    EXPECT_EQ(QuorTest::ReadFile(Root() + "target/a.txt"), "old a");  // not overwritten
    EXPECT_EQ(LocalFileSystemHelper::CopyDirectoryTree(source, Root() + "target", m_fs, false), S_OK);
    EXPECT_EQ(QuorTest::ReadFile(Root() + "target/a.txt"), "a");
    EXPECT_EQ(QuorTest::ReadFile(Root() + "target/sub/b.txt"), "b");
    EXPECT_EQ(QuorTest::ReadFile(Root() + "target/sub/deeper/c.txt"), "c");
    EXPECT_TRUE(QuorTest::Exists(Root() + "target/empty"));

    EXPECT_TRUE(FAILED(LocalFileSystemHelper::CopyDirectoryTree(Root() + "missing", Root() + "t2", m_fs, false)));

    // A file that cannot be copied (a file holds the name of its target folder) is a failure, and
    // the walk still copies the rest.
    QuorTest::WriteFile(Root() + "t3/sub", "a file, not a folder");
    EXPECT_TRUE(FAILED(LocalFileSystemHelper::CopyDirectoryTree(source, Root() + "t3", m_fs, false)));
    EXPECT_EQ(QuorTest::ReadFile(Root() + "t3/a.txt"), "a");
}

// Files 16 days old or older go, younger ones stay; folders emptied by that go, the top folder
// and folders that still hold something stay.
TEST_F(LocalFileSystemHelperTest, DeleteFilesOlderThanSixteenDays) {
    const std::string top = Root() + "downloads/";
    const struct {
        const char* name;
        int days;
        bool stays;
    } files[] = {
        {"old.bin", 17, false},      {"young.bin", 1, true},          {"gone/old1", 17, false},
        {"gone/deeper/old2", 40, false}, {"mixed/old3", 17, false}, {"mixed/young2", 1, true},
    };
    for (const auto& f : files) {
        QuorTest::WriteFile(top + f.name, "x");
        Age(top + f.name, f.days);
    }
    QuorTest::MakeDirs(top + "empty");

    EXPECT_EQ(LocalFileSystemHelper::DeleteFilesOlderThan(top, m_fs, Time::FromDays(16)), S_OK);
    for (const auto& f : files) EXPECT_EQ(QuorTest::Exists(top + f.name), f.stays) << f.name;
    EXPECT_FALSE(QuorTest::Exists(top + "gone"));
    EXPECT_FALSE(QuorTest::Exists(top + "empty"));
    EXPECT_TRUE(QuorTest::Exists(top + "mixed"));
    EXPECT_TRUE(QuorTest::Exists(top));

    EXPECT_EQ(LocalFileSystemHelper::DeleteFilesOlderThan(top, m_fs, Time::FromDays(0)), S_OK);
    EXPECT_FALSE(QuorTest::Exists(top + "mixed"));
    EXPECT_TRUE(QuorTest::Exists(top));
    EXPECT_TRUE(FAILED(LocalFileSystemHelper::DeleteFilesOlderThan(Root() + "missing/", m_fs, Time::FromDays(1))));
}

}  // namespace
