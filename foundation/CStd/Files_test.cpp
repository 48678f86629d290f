// Files and folders through the bounded runtime, against a temporary folder.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <set>
#include <string>

#include "foundation/CStd/CStd.h"
#include "tests/kit/TempDir.h"

namespace {

using namespace Vorn;
using QuorTest::Exists;
using QuorTest::ReadFile;
using QuorTest::TempDir;
using QuorTest::WriteFile;

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

std::set<std::string> Names(const char* list) {
    std::set<std::string> names;
    for (const char* p = list; *p; p += std::strlen(p) + 1) names.insert(p);
    return names;
}

TEST(CStdFiles, DirListingNamesEveryEntryAndEndsWithAnEmptyName) {
    TempDir dir;
    WriteFile(dir / "a.txt", "1");
    WriteFile(dir / "sub/b", "2");
    char* list = nullptr;
    ASSERT_TRUE(std_get_dir_listing(dir.path().c_str(), list));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(Names(list), (std::set<std::string>{"a.txt", "sub"}));
    std_free_dir_listing(list);
}

TEST(CStdFiles, DirListingOfAnEmptyFolderIsAnEmptyList) {
    TempDir dir;
    char* list = reinterpret_cast<char*>(1);
    ASSERT_TRUE(std_get_dir_listing(dir.path().c_str(), list));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list[0], '\0');
    std_free_dir_listing(list);
}

TEST(CStdFiles, DirListingOfAMissingFolderFailsWithNoBlock) {
    TempDir dir;
    WriteFile(dir / "file", "x");
    for (const std::string& path : {dir / "missing", dir / "file"}) {
        char* list = reinterpret_cast<char*>(1);
        EXPECT_FALSE(std_get_dir_listing(path.c_str(), list)) << path;
        EXPECT_EQ(list, nullptr) << path;
    }
}

TEST(CStdFiles, OpenAndAccessReadBackslashesAsSeparators) {
    TempDir dir;
    WriteFile(dir / "sub/file.dat", "payload");
    std::string backslashed = dir.path() + "\\sub\\file.dat";
    FILE* f = std_fopen(backslashed.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    char buf[16] = {};
    EXPECT_EQ(std_fread(buf, 1, sizeof buf, f), 7u);
    EXPECT_STREQ(buf, "payload");
    EXPECT_EQ(std_fclose(f), 0);
    f = std_fsopen(backslashed.c_str(), "rb", 0x20);
    ASSERT_NE(f, nullptr);
    std_fclose(f);

    EXPECT_EQ(std_access(backslashed.c_str(), 0), 0);
    EXPECT_EQ(std_access(backslashed.c_str(), 6), 0);
    EXPECT_EQ(std_access(backslashed.c_str(), 1), 0);  // mode 1 tests existence only
    EXPECT_EQ(std_access((dir.path() + "\\sub\\none").c_str(), 1), -1);
    // The other file functions take the path as given.
    EXPECT_FALSE(std_file_exists(backslashed.c_str()));
    EXPECT_TRUE(std_file_exists((dir / "sub/file.dat").c_str()));
    EXPECT_FALSE(std_file_exists((dir / "sub").c_str()));
    EXPECT_TRUE(std_dir_exists((dir / "sub").c_str()));
    EXPECT_FALSE(std_dir_exists((dir / "sub/file.dat").c_str()));
}

TEST(CStdFiles, PathsOfTheBufferSizeOrLongerAreRefused) {
    TempDir dir;
    std::string path = dir.path();
    while (path.size() < 1024) path += "/" + std::string(100, 'd');
    path.resize(1024);  // needs a 1025-byte buffer with its terminator
    errno = 0;
    EXPECT_EQ(std_fopen(path.c_str(), "wb"), nullptr);
    EXPECT_EQ(errno, ENAMETOOLONG);
    errno = 0;
    EXPECT_EQ(std_fsopen(path.c_str(), "wb", 0), nullptr);
    EXPECT_EQ(errno, ENAMETOOLONG);
    errno = 0;
    EXPECT_EQ(std_access(path.c_str(), 0), -1);
    EXPECT_EQ(errno, ENAMETOOLONG);
    EXPECT_FALSE(std_mkdir_tree(path.c_str()));

    // One byte less reaches the system, which finds no such folder.
    path.resize(1023);
    errno = 0;
    EXPECT_EQ(std_fopen(path.c_str(), "wb"), nullptr);
    EXPECT_EQ(errno, ENOENT);
}

TEST(CStdFiles, MkdirTreeCreatesEveryMissingFolderWithoutOpeningAny) {
    TempDir dir;
    const mode_t previous = umask(022);
    std::string deep = dir / "a//b/c/";
    ASSERT_TRUE(std_mkdir_tree(deep.c_str()));
    EXPECT_TRUE(std_dir_exists((dir / "a/b/c").c_str()));
    EXPECT_EQ(ModeOf(dir / "a"), 0755u);
    EXPECT_EQ(ModeOf(dir / "a/b/c"), 0755u);
    // An existing folder keeps its mode.
    ASSERT_EQ(chmod((dir / "a/b").c_str(), 0700), 0);
    EXPECT_TRUE(std_mkdir_tree((dir / "a/b/c/d").c_str()));
    EXPECT_EQ(ModeOf(dir / "a/b"), 0700u);
    EXPECT_EQ(ModeOf(dir / "a/b/c/d"), 0755u);
    umask(previous);
    EXPECT_TRUE(std_mkdir_tree(deep.c_str()));  // existing folders are fine
    EXPECT_TRUE(std_mkdir_tree(""));

    // Relative to the working folder.
    QuorTest::ScopedCwd cwd(dir.path());
    EXPECT_TRUE(std_mkdir_tree("rel/x"));
    EXPECT_TRUE(std_dir_exists((dir / "rel/x").c_str()));
}

// Whether a folder may be made in a parent is the system's answer, for whoever asks: the superuser,
// a member of the parent's group through a supplementary group, or a user the parent does not
// admit. The parent keeps its mode either way; what is made is 0755.
TEST(CStdFiles, MkdirTreeLeavesThePermissionCheckToTheSystem) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to play the other users";
    constexpr uid_t kNobody = 65534;
    constexpr gid_t kGroup = 54321;  // a group that is nobody's primary group
    const struct {
        const char* what;
        uid_t parentUid;
        gid_t parentGid;
        mode_t parentMode;
        bool asNobody;
        bool withGroup;  // nobody holds kGroup as a supplementary group
        bool made;
    } cases[] = {
        {"root in a folder of its own without write bits", 0, 0, 0555, false, false, true},
        {"root in another user's folder without write bits", kNobody, kNobody, 0555, false, false, true},
        {"a member of the parent's group through a supplementary group", 0, kGroup, 0775, true, true, true},
        {"a user outside the parent's group", 0, kGroup, 0775, true, false, false},
        {"the owner of a parent without owner write bit", kNobody, kNobody, 0575, true, true, false},
    };
    for (const auto& c : cases) {
        TempDir dir;
        ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
        const std::string parent = dir / "parent";
        ASSERT_EQ(mkdir(parent.c_str(), 0700), 0);
        ASSERT_EQ(chown(parent.c_str(), c.parentUid, c.parentGid), 0);
        ASSERT_EQ(chmod(parent.c_str(), c.parentMode), 0);
        const std::string deep = parent + "/new/x";

        // The call runs in a child that takes on the case's user; its exit code is the answer
        // (0 made, 1 refused with EACCES, 2 refused otherwise, 3 the user could not be taken on).
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            umask(022);
            if (c.asNobody) {
                const gid_t groups[] = {kGroup};
                if (setgroups(c.withGroup ? 1 : 0, groups) != 0 || setresgid(kNobody, kNobody, kNobody) != 0 ||
                    setresuid(kNobody, kNobody, kNobody) != 0)
                    _exit(3);
            }
            errno = 0;
            if (std_mkdir_tree(deep.c_str())) _exit(0);
            _exit(errno == EACCES ? 1 : 2);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status)) << c.what;
        EXPECT_EQ(WEXITSTATUS(status), c.made ? 0 : 1) << c.what;
        EXPECT_EQ(ModeOf(parent), c.parentMode) << c.what;
        EXPECT_EQ(std_dir_exists(deep.c_str()), c.made) << c.what;
        if (c.made) {
            EXPECT_EQ(ModeOf(parent + "/new"), 0755u) << c.what;
            EXPECT_EQ(ModeOf(deep), 0755u) << c.what;
        }
        chmod(parent.c_str(), 0755);  // so that the folder can be removed
    }
}

TEST(CStdFiles, MkdirTreeFailsWhenAFileHoldsAFolderName) {
    TempDir dir;
    WriteFile(dir / "a/file", "x");
    EXPECT_FALSE(std_mkdir_tree((dir / "a/file/b").c_str()));
    EXPECT_FALSE(std_mkdir_tree((dir / "a/file").c_str()));
    EXPECT_EQ(ReadFile(dir / "a/file"), "x");
}

TEST(CStdFiles, MkdirMakesOneFolder) {
    TempDir dir;
    const mode_t previous = umask(022);
    EXPECT_TRUE(std_mkdir((dir / "one").c_str()));
    EXPECT_EQ(ModeOf(dir / "one"), 0755u);
    umask(previous);
    EXPECT_TRUE(std_mkdir((dir / "one").c_str()));
    EXPECT_FALSE(std_mkdir((dir / "missing/two").c_str()));
    EXPECT_TRUE(std_rmdir((dir / "one").c_str()));
    EXPECT_FALSE(std_rmdir((dir / "one").c_str()));
}

TEST(CStdFiles, CopyKeepsBytesModeAndTimes) {
    TempDir dir;
    std::string source = dir / "src.bin";
    std::string bytes(300000, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
    WriteFile(source, bytes);
    ASSERT_EQ(chmod(source.c_str(), 0751), 0);
    const timespec times[2] = {{1000000000, 0}, {1200000000, 500}};
    ASSERT_EQ(utimensat(AT_FDCWD, source.c_str(), times, 0), 0);

    std::string dest = dir / "new/folder/dst.bin";  // missing folders are created
    ASSERT_TRUE(std_copy_file(source.c_str(), dest.c_str(), true));
    EXPECT_EQ(ReadFile(dest), bytes);
    EXPECT_EQ(ModeOf(dest), 0751u);
    struct stat st {};
    ASSERT_EQ(stat(dest.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1200000000);
    EXPECT_EQ(st.st_mtim.tv_nsec, 500);
}

TEST(CStdFiles, CopyOverAnExistingFileOnlyWithoutFailIfExists) {
    TempDir dir;
    WriteFile(dir / "src", "new");
    WriteFile(dir / "dst", "older and longer");
    EXPECT_FALSE(std_copy_file((dir / "src").c_str(), (dir / "dst").c_str(), true));
    EXPECT_EQ(ReadFile(dir / "dst"), "older and longer");
    EXPECT_TRUE(std_copy_file((dir / "src").c_str(), (dir / "dst").c_str(), false));
    EXPECT_EQ(ReadFile(dir / "dst"), "new");
}

TEST(CStdFiles, CopyIntoAFolderTakesTheSourceName) {
    TempDir dir;
    WriteFile(dir / "in/report.log", "text");
    QuorTest::MakeDirs(dir / "out");
    ASSERT_TRUE(std_copy_file((dir / "in/report.log").c_str(), (dir / "out").c_str(), false));
    EXPECT_EQ(ReadFile(dir / "out/report.log"), "text");
}

TEST(CStdFiles, FailedCopiesReportFailureAndKeepTheTarget) {
    TempDir dir;
    WriteFile(dir / "dst", "keep me");
    WriteFile(dir / "self", "keep me too");
    QuorTest::MakeDirs(dir / "folder");
    errno = 0;
    // Missing source: the existing target is not removed to make room.
    EXPECT_FALSE(std_copy_file((dir / "missing").c_str(), (dir / "dst").c_str(), false));
    EXPECT_EQ(ReadFile(dir / "dst"), "keep me");
    // A file copied onto itself stays whole.
    EXPECT_FALSE(std_copy_file((dir / "self").c_str(), (dir / "self").c_str(), false));
    EXPECT_EQ(ReadFile(dir / "self"), "keep me too");
    // A folder is no file to copy.
    EXPECT_FALSE(std_copy_file((dir / "folder").c_str(), (dir / "dst2").c_str(), false));
    EXPECT_FALSE(Exists(dir / "dst2"));
    // The target's folder cannot be made: a file holds its name.
    WriteFile(dir / "blocker", "x");
    EXPECT_FALSE(std_copy_file((dir / "dst").c_str(), (dir / "blocker/sub/dst").c_str(), false));
}

TEST(CStdFiles, MoveRemoveAndChmod) {
    TempDir dir;
    WriteFile(dir / "a", "1");
    EXPECT_TRUE(std_move_file((dir / "a").c_str(), (dir / "b").c_str(), 3));
    EXPECT_FALSE(Exists(dir / "a"));
    EXPECT_EQ(ReadFile(dir / "b"), "1");
    EXPECT_FALSE(std_move_file((dir / "a").c_str(), (dir / "c").c_str(), 0));
    EXPECT_TRUE(std_chmod((dir / "b").c_str(), 0640));
    EXPECT_EQ(ModeOf(dir / "b"), 0640u);
    EXPECT_TRUE(std_remove((dir / "b").c_str()));
    EXPECT_FALSE(std_remove((dir / "b").c_str()));
    EXPECT_EQ(std_errno(), ENOENT);
    // As remove(): an empty folder goes, one that holds something stays.
    ASSERT_TRUE(std_mkdir_tree((dir / "full/inner").c_str()));
    EXPECT_FALSE(std_remove((dir / "full").c_str()));
    EXPECT_EQ(std_errno(), ENOTEMPTY);
    EXPECT_TRUE(std_remove((dir / "full/inner").c_str()));
    EXPECT_FALSE(Exists(dir / "full/inner"));
}

TEST(CStdFiles, StdioForwardsSeekBeyond32Bits) {
    TempDir dir;
    FILE* f = std_fopen((dir / "big").c_str(), "w+b");
    ASSERT_NE(f, nullptr);
    const int64_t far = (int64_t{1} << 32) + 5;  // sparse: no space is used
    ASSERT_EQ(std_fseek(f, far, SEEK_SET), 0);
    EXPECT_EQ(std_fprintf(f, "%s", "end"), 3);
    EXPECT_EQ(std_ftell(f), far + 3);
    EXPECT_EQ(std_fflush(f), 0);
    ASSERT_EQ(std_fseek(f, far, SEEK_SET), 0);
    char line[8] = {};
    ASSERT_NE(std_fgets(line, sizeof line, f), nullptr);
    EXPECT_STREQ(line, "end");
    EXPECT_NE(std_feof(f), 0);
    EXPECT_EQ(std_ferror(f), 0);
    std_fclose(f);
}

TEST(CStdFiles, FileSystemSizeAndCwd) {
    TempDir dir;
    uint32_t blockSize = 0;
    uint64_t freeBlocks = 0, totalBlocks = 0;
    ASSERT_TRUE(std_file_system_size(dir.path().c_str(), blockSize, freeBlocks, totalBlocks));
    EXPECT_GT(blockSize, 0u);
    EXPECT_GT(totalBlocks, 0u);
    EXPECT_LE(freeBlocks, totalBlocks);
    EXPECT_FALSE(std_file_system_size((dir / "missing").c_str(), blockSize, freeBlocks, totalBlocks));

    QuorTest::ScopedCwd keep(dir.path());
    QuorTest::MakeDirs(dir / "sub");
    ASSERT_TRUE(std_chdir("sub"));
    char cwd[1024];
    ASSERT_NE(std_getcwd(sizeof cwd, cwd), nullptr);
    char expected[4096];
    ASSERT_NE(std_realpath((dir / "sub").c_str(), expected), nullptr);
    EXPECT_STREQ(cwd, expected);
    EXPECT_FALSE(std_chdir("missing"));
}

}  // namespace
