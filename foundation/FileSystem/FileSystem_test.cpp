#include "foundation/FileSystem/FileSystem.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <map>
#include <string>

#include "tests/kit/TempDir.h"

using namespace Vorn::FileSystem;

namespace {
// name -> isDirectory
std::map<std::string, bool> List(const char* pattern, bool* ok = nullptr) {
    std::vector<FindFileResult> found;
    const bool result = FindFiles(pattern, found);
    if (ok) *ok = result;
    std::map<std::string, bool> byName;
    for (const auto& f : found) byName[f.name] = f.isDirectory;
    return byName;
}
}  // namespace

class FindFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        QuorTest::WriteFile(dir / "Alpha.TXT", "a");
        QuorTest::WriteFile(dir / "beta.txt", "b");
        QuorTest::WriteFile(dir / "gamma.bin", "c");
        QuorTest::MakeDirs(dir / "d");
        QuorTest::WriteFile(dir / "d/inner.txt", "i");
        ASSERT_EQ(symlink((dir / "d").c_str(), (dir / "link").c_str()), 0);
        ASSERT_EQ(symlink((dir / "nowhere").c_str(), (dir / "dangling").c_str()), 0);
    }
    QuorTest::TempDir dir;
    QuorTest::ScopedCwd cwd{dir.path()};
};

TEST_F(FindFilesTest, PatternWithoutSlashListsTheWorkingFolder) {
    const auto txt = List("*.txt");
    EXPECT_EQ(txt.size(), 2u);
    EXPECT_TRUE(txt.count("Alpha.TXT")) << "matching ignores case";
    EXPECT_TRUE(txt.count("beta.txt"));

    const auto all = List("*");
    EXPECT_TRUE(all.count(".") && all.count("..")) << "dot entries are listed when they match";
    EXPECT_TRUE(all.at("d")) << "a folder";
    EXPECT_FALSE(all.at("gamma.bin"));
    EXPECT_FALSE(all.at("link")) << "a symbolic link to a folder is listed as a file";
    EXPECT_FALSE(all.count("dangling")) << "an entry whose status cannot be read is skipped";

    EXPECT_EQ(List("*.*"), all) << "\"*.*\" matches every name, dotless ones too";
}

TEST_F(FindFilesTest, ThreeCharacterPatternWithASlashListsThatFolder) {
    const auto inner = List("d/*");
    EXPECT_TRUE(inner.count("inner.txt"));
    EXPECT_FALSE(inner.count("beta.txt"));

    const std::string absolute = dir / "d/*.TXT";
    EXPECT_EQ(List(absolute.c_str()).size(), 1u);

    // Shorter than three characters: matched as a whole against the names of the working folder.
    bool ok = false;
    EXPECT_TRUE(List("/d", &ok).empty());
    EXPECT_TRUE(ok);

    EXPECT_TRUE(List("*.none").empty());
    List("missing/*", &ok);
    EXPECT_FALSE(ok) << "a folder that cannot be opened fails";
}

TEST(FileSystem, CreateAndCloseFileMakesAnEmptyFile) {
    QuorTest::TempDir dir;
    QuorTest::WriteFile(dir / "full", "bytes");
    EXPECT_TRUE(CreateAndCloseFile((dir / "full").c_str()));
    EXPECT_EQ(QuorTest::ReadFile(dir / "full"), "");
    EXPECT_TRUE(CreateAndCloseFile((dir / "new").c_str()));
    EXPECT_TRUE(QuorTest::Exists(dir / "new"));
    EXPECT_FALSE(CreateAndCloseFile((dir / "no/such/folder/x").c_str()));
}

TEST(FileSystem, FileTimesComeFromTheFileSystem) {
    QuorTest::TempDir dir;
    const std::string path = dir / "aged";
    QuorTest::WriteFile(path, "x");
    const uint64_t now = static_cast<uint64_t>(time(nullptr));
    uint64_t created = 0, modified = 0;
    ASSERT_TRUE(GetFileCreatedTimeUTC(path.c_str(), created));
    ASSERT_TRUE(GetFileModifiedTimeUTC(path.c_str(), modified));
    EXPECT_LE(created, now + 1);
    EXPECT_GE(created + 60, now) << "seconds since 1970, like the system clock";

    timespec times[2] = {{1000000000, 0}, {1000000000, 0}};  // 2001-09-09
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    ASSERT_TRUE(GetFileModifiedTimeUTC(path.c_str(), modified));
    EXPECT_EQ(modified, 1000000000u);

    uint64_t untouched = 42;
    EXPECT_FALSE(GetFileCreatedTimeUTC((dir / "missing").c_str(), untouched));
    EXPECT_FALSE(GetFileModifiedTimeUTC((dir / "missing").c_str(), untouched));
    EXPECT_EQ(untouched, 42u);
}

TEST(FileSystem, AbsolutePathCanBeSizedFirst) {
    QuorTest::TempDir dir;
    QuorTest::MakeDirs(dir / "a/b");
    char expected[4096];
    ASSERT_NE(realpath(dir.path().c_str(), expected), nullptr);
    const std::string want = std::string(expected) + "/a";
    const std::string query = dir / "a/b/../.";

    const unsigned needed = GetAbsolutePath(query.c_str(), nullptr, 0);
    ASSERT_EQ(needed, want.size() + 1);
    std::string small(needed - 1, '#');
    EXPECT_EQ(GetAbsolutePath(query.c_str(), small.data(), needed - 1), needed);
    EXPECT_EQ(small, std::string(needed - 1, '#')) << "a buffer one byte short stays untouched";
    std::string exact(needed, '#');
    EXPECT_EQ(GetAbsolutePath(query.c_str(), exact.data(), needed), needed);
    EXPECT_STREQ(exact.c_str(), want.c_str());

    EXPECT_EQ(GetAbsolutePath((dir / "missing").c_str(), exact.data(), needed), 0u);
}
