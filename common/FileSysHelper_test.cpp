#include "common/FileSysHelper.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/BufferMalloc.h"
#include "tests/kit/TempDir.h"

namespace {

using Quor::Common::FileSysHelper;
namespace Time = Quor::Common::Time;

TEST(FileSysHelperText, Replace) {
    const struct {
        const char *text, *find, *with, *expected;
    } cases[] = {
        {"C:\\Data\\File.TXT", "c:/data/", "X/", "X/File.TXT"},
        {"aAaA", "a", "aa", "aaaaaaaa"},  // replaced text is not searched again
        {"a/b\\A/B", "A\\b", "-", "-\\-"},
        {"abc", "", "x", "abc"},  // an empty find changes nothing (and does not loop)
        {"abc", "abcd", "x", "abc"},
    };
    for (const auto& c : cases) {
        std::string text = c.text;
        FileSysHelper::Replace(text, c.find, c.with);
        EXPECT_EQ(text, c.expected) << c.text << " / " << c.find;
    }
}

TEST(FileSysHelperText, PathsSplitNormalizeAndResolve) {
    EXPECT_EQ(FileSysHelper::NormalizeDirectoryPath("a\\b"), "a/b/");
    EXPECT_EQ(FileSysHelper::NormalizeDirectoryPath("a/b/"), "a/b/");
    EXPECT_EQ(FileSysHelper::NormalizeDirectoryPath(""), "/");

    const struct {
        const char *path, *folder, *name, *extension;
    } split[] = {
        {"a/b/c.tar.gz", "a/b/", "c.tar", "gz"},
        {"C:x.txt", "C:/", "x", "txt"},
        {"noext", "", "noext", ""},
        {"a.b/c", "a.b/", "c", ""},  // a dot in a folder name is no extension
        {"d\\e.f", "d\\", "e", "f"},
    };
    for (const auto& c : split) {
        std::string folder, name, extension;
        FileSysHelper::ParseFileSpecification(c.path, folder, name, extension);
        EXPECT_EQ(folder + "|" + name + "|" + extension, std::string(c.folder) + "|" + c.name + "|" + c.extension)
            << c.path;
    }

    const struct {
        const char *relative, *base, *expected;
    } resolve[] = {
        {"../x.dat", "/a/b/file", "/a/x.dat"},
        {"sub/x.dat", "/a/b/", "/a/b/sub/x.dat"},
        {"./x.dat", "/a/", "/a/x.dat"},
        {"D:\\y\\z.txt", "/a/", "D:/y/z.txt"},
        {"..\\..\\up", "/a/b/c/", "/a/up"},
    };
    for (const auto& c : resolve) {
        std::string out = "old";
        FileSysHelper::RelativeToAbsolutePath(c.relative, c.base, out);
        EXPECT_EQ(out, c.expected) << c.relative << " against " << c.base;
    }
}

class FileSysHelperTest : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const std::string& bytes) {
        QuorTest::WriteFile(m_dir / name, bytes);
        return m_dir / name;
    }
    QuorTest::TempDir m_dir{"filesyshelper"};
};

TEST_F(FileSysHelperTest, SizesAndFolders) {
    UINT size = 7;
    EXPECT_EQ(FileSysHelper::GetFileSize(Write("ten", "0123456789"), size), S_OK);
    EXPECT_EQ(size, 10u);
    EXPECT_EQ(FileSysHelper::GetFileSize(m_dir / "missing", size), E_FAIL);
    EXPECT_EQ(size, 10u);

    // A file of 4 GiB or more has no 32-bit size: a failure, not the size cut to 32 bits.
    const std::string big = m_dir / "big";
    const int fd = open(big.c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, (4ll << 30) + 5), 0);
    close(fd);
    EXPECT_EQ(FileSysHelper::GetFileSize(big, size), E_FAIL);
    EXPECT_EQ(size, 10u);

    EXPECT_EQ(FileSysHelper::CreateDirectoryAndIntermediatePaths((m_dir.path() + "\\x\\y/z").c_str()), S_OK);
    EXPECT_TRUE(QuorTest::Exists(m_dir / "x/y/z"));
    EXPECT_EQ(FileSysHelper::CreateDirectoryAndIntermediatePaths((m_dir / "ten/sub").c_str()), E_FAIL);
}

TEST_F(FileSysHelperTest, AppendAndExtract) {
    const std::string source = Write("source", "0123456789abcdef");
    const std::string target = Write("target", "head:");
    EXPECT_EQ(FileSysHelper::AppendBinaryFile(source, target), S_OK);
    EXPECT_EQ(QuorTest::ReadFile(target), "head:0123456789abcdef");
    EXPECT_EQ(FileSysHelper::AppendBinaryFile(m_dir / "missing", target), E_FAIL);
    QuorTest::MakeDirs(m_dir / "folder");
    EXPECT_EQ(FileSysHelper::AppendBinaryFile(m_dir / "folder", target), E_FAIL);  // read error
    EXPECT_EQ(FileSysHelper::AppendBinaryFile(source, m_dir / "folder"), E_FAIL);  // cannot open for appending
    EXPECT_EQ(QuorTest::ReadFile(target), "head:0123456789abcdef");

    const std::string piece = m_dir / "piece";
    EXPECT_EQ(FileSysHelper::ExtractPieceOfBinaryFile(source, 4, 6, piece), S_OK);
    EXPECT_EQ(QuorTest::ReadFile(piece), "456789");
    EXPECT_EQ(FileSysHelper::ExtractPieceOfBinaryFile(source, 16, 0, piece), S_OK);
    EXPECT_TRUE(QuorTest::Exists(piece));
    EXPECT_EQ(QuorTest::ReadFile(piece), "");
    EXPECT_EQ(FileSysHelper::ExtractPieceOfBinaryFile(source, 10, 7, piece), E_FAIL);  // one byte short
    EXPECT_EQ(FileSysHelper::ExtractPieceOfBinaryFile(m_dir / "missing", 0, 1, piece), E_FAIL);
    EXPECT_EQ(FileSysHelper::ExtractPieceOfBinaryFile(source, 0, 1, m_dir / "no/such/folder/x"), E_FAIL);

    // A piece larger than one 10 MiB chunk: the chunks before the failing one stay written.
    std::string large(FileSysHelper::kCopyBufferSize + 1000, '\0');
    for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>(i * 31 + i / 4096);
    const std::string largePath = Write("large", large);
    EXPECT_EQ(FileSysHelper::ExtractPieceOfBinaryFile(largePath, 100, static_cast<UINT>(large.size() - 100), piece),
              S_OK);
    EXPECT_EQ(QuorTest::ReadFile(piece), large.substr(100));
    EXPECT_EQ(FileSysHelper::ExtractPieceOfBinaryFile(largePath, 0, static_cast<UINT>(large.size() + 1), piece),
              E_FAIL);
    EXPECT_EQ(QuorTest::ReadFile(piece), large.substr(0, FileSysHelper::kCopyBufferSize));
}

TEST_F(FileSysHelperTest, ReadIntoBuffersAndWriteThemBack) {
    std::shared_ptr<Quor::API::IBuffer> buffer;
    ASSERT_EQ(FileSysHelper::ReadFileIntoBuffer(Write("data", "0123456789"), buffer), S_OK);
    ASSERT_TRUE(buffer);
    EXPECT_EQ(std::string(static_cast<const char*>(buffer->GetBufferPointer()), buffer->GetBufferSize()), "0123456789");

    std::shared_ptr<Quor::API::IBuffer> block;
    ASSERT_EQ(FileSysHelper::ReadFileBlockIntoBuffer(m_dir / "data", 3, 4, block), S_OK);
    EXPECT_EQ(std::string(static_cast<const char*>(block->GetBufferPointer()), block->GetBufferSize()), "3456");

    // Failures leave the output as it was; a length past the end allocates nothing.
    std::shared_ptr<Quor::API::IBuffer> kept = block;
    EXPECT_EQ(FileSysHelper::ReadFileBlockIntoBuffer(m_dir / "data", 8, 3, block), E_FAIL);
    EXPECT_EQ(FileSysHelper::ReadFileBlockIntoBuffer(m_dir / "data", 0, 0xFFFFFFF0u, block), E_FAIL);
    EXPECT_EQ(FileSysHelper::ReadFileBlockIntoBuffer(m_dir / "missing", 0, 1, block), E_FAIL);
    EXPECT_EQ(FileSysHelper::ReadFileIntoBuffer(m_dir / "missing", block), E_FAIL);
    EXPECT_EQ(block, kept);

    ASSERT_EQ(FileSysHelper::ReadFileIntoBuffer(Write("empty", ""), block), S_OK);
    EXPECT_EQ(block->GetBufferSize(), 0u);

    EXPECT_EQ(FileSysHelper::WriteBufferToFile(*buffer, (m_dir / "copy").c_str()), S_OK);
    EXPECT_EQ(QuorTest::ReadFile(m_dir / "copy"), "0123456789");
    EXPECT_EQ(FileSysHelper::WriteBufferToFile(*buffer, (m_dir / "no/such/copy").c_str()), E_FAIL);
}

// Ages are 100-ns ticks since the file was last written.
TEST_F(FileSysHelperTest, FileAgeCountsTicksSinceTheLastWrite) {
    const std::string path = Write("aged", "x");
    struct timespec times[2];
    clock_gettime(CLOCK_REALTIME, &times[0]);
    times[0].tv_sec -= 17 * 86400;
    times[1] = times[0];
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    Time::TIME age = 0;
    ASSERT_EQ(FileSysHelper::FileAge(path, age), S_OK);
    // time() reads a coarse clock that may still show the previous second.
    EXPECT_GE(age, Time::FromDays(17) - Time::FromSeconds(1));
    EXPECT_LT(age, Time::FromDays(17) + Time::FromSeconds(60));

    clock_gettime(CLOCK_REALTIME, &times[0]);
    times[0].tv_sec += 3600;  // written in the future: age 0
    times[1] = times[0];
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    ASSERT_EQ(FileSysHelper::FileAge(path, age), S_OK);
    EXPECT_EQ(age, 0u);

    age = 123;
    EXPECT_TRUE(FAILED(FileSysHelper::FileAge(m_dir / "missing", age)));
    EXPECT_EQ(age, 123u);
}

}  // namespace
