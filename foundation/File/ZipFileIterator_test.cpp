#include "foundation/File/ZipFileIterator.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/File/ZipFileProvider.h"
#include "tests/kit/TempDir.h"
#include "tests/kit/ZipBuilder.h"

namespace {

using namespace Vorn::File;
using QuorTest::BuildZip;

std::vector<std::string> List(const FileIteratorPtr& it) {
    std::vector<std::string> names;
    for (; it && it->HasFile(); it->Advance())
        names.push_back(std::string(it->GetCurrentFileName()) + (it->IsCurrentFileDirectory() ? "/" : ""));
    return names;
}

// The working folder holds a/b/disk.txt on disk; the zip holds the members below.
class ZipFileIteratorTest : public ::testing::Test {
protected:
    void SetUp() override {
        QuorTest::WriteFile(m_dir / "a/b/disk.txt", "on disk");
        QuorTest::WriteFile(m_dir / "archive.zip", BuildZip({{"a/b/one.txt", "1", 0},
                                                             {"a/b/Two", "2", 8},
                                                             {"a/b/C/three.dat", "3", 0},
                                                             {"a/b/four.txt", "4", 0}}));
    }
    QuorTest::TempDir m_dir{"zipiterator"};
    QuorTest::ScopedCwd m_cwd{m_dir.path()};
};

TEST_F(ZipFileIteratorTest, WithoutArchivesTheDiskIsListed) {
    EXPECT_FALSE(CreateZipArchiveFileIterator("a/b/*", 0));
    EXPECT_EQ(List(CreateFileIterator("a/b/*", 0)), (std::vector<std::string>{"disk.txt"}));
}

TEST_F(ZipFileIteratorTest, ListsZipMembersThenTheDisk) {
    ASSERT_TRUE(ZipFileProviderSingleton::Instance().AddZip((m_dir / "archive.zip").c_str()));
    const struct {
        const char* pattern;
        unsigned flags;
        std::vector<std::string> expected;
    } cases[] = {
        {"a/b/*", 0, {"./", "../", "one.txt", "Two.", "C/", "four.txt", "disk.txt"}},
        {"a/b/*.*", 0, {"./", "../", "one.txt", "Two.", "C/", "four.txt", "disk.txt"}},
        {"A\\B\\*", 0, {"./", "../", "one.txt", "Two.", "C/", "four.txt"}},  // the disk has no A/B
        // Not "all": files by their exact extension, folders by the name part before its last "*".
        {"a/b/*.txt", 0, {"one.txt", "C/", "four.txt", "disk.txt"}},
        {"a/b/c*", 0, {"C/"}},
        {"a/b/*", FILE_ITERATOR_FOLDERS_ONLY, {"./", "../", "C/"}},
        {"a/*", FILE_ITERATOR_FOLDERS_ONLY, {"./", "../", "b/", "b/"}},  // from the zip, then the disk
        {"x/*", 0, {"./", "../"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(List(CreateFileIterator(c.pattern, c.flags)), c.expected) << c.pattern << " flags " << c.flags;

    FileIteratorPtr it = CreateFileIterator("a/b/*", 0);
    it->SkipDotDirectories();
    EXPECT_STREQ(it->GetCurrentFileName(), "one.txt");
}

}  // namespace
