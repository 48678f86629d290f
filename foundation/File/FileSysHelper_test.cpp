#include "foundation/File/FileSysHelper.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/kit/TempDir.h"

namespace {

using Vorn::File::FileSysHelper;

TEST(VornFileSysHelper, ParseFileSpecification) {
    const struct {
        const char* spec;
        const char *folder, *name, *extension;
    } cases[] = {
        // The folder is put in front of what it held ("old"), or emptied when there is none.
        {"C:file.txt", "C:/old", "file", "txt"},
        {"dir/sub\\name.tar.gz", "dir/sub\\old", "name.tar", "gz"},
        {"noext", "", "noext", "keep"},  // extension left as it was
        {"dir/", "dir/old", "", "keep"},
        {".hidden", "", "", "hidden"},
        {"a.b/c", "a.b/old", "c", "keep"},
    };
    for (const auto& c : cases) {
        std::string folder = "old", name, extension = "keep";
        FileSysHelper::ParseFileSpecification(c.spec, folder, name, extension);
        EXPECT_EQ(folder, c.folder) << c.spec;
        EXPECT_EQ(name, c.name) << c.spec;
        EXPECT_EQ(extension, c.extension) << c.spec;
    }
    // Parts are put in front of what the outputs held.
    std::string folder, name = "-tail", extension;
    FileSysHelper::ParseFileSpecification("x/y.z", folder, name, extension);
    EXPECT_EQ(name, "y-tail");

    std::string f, n, e = "keep";
    FileSysHelper::ParseFileSpecificationOld("a.b/c", f, n, e);
    EXPECT_EQ(f, "a.b/");
    EXPECT_EQ(e, "b/c");  // the folder's dot is taken for the extension's
    e = "keep";
    FileSysHelper::ParseFileSpecificationOld("plain", f, n, e);
    EXPECT_EQ(n, "plain");
    EXPECT_EQ(e, "");
}

TEST(VornFileSysHelper, RelativeToAbsolutePath) {
    const struct {
        const char *path, *base, *expected;
    } cases[] = {
        {"../x.dat", "/a/b", "/a/x.dat"},
        {"../../x.dat", "/a/b/", "/x.dat"},
        {"./sub/x.dat", "/a/b", "/a/b/sub/x.dat"},
        {"sub\\deeper\\x.dat", "/a", "/a/sub/deeper/x.dat"},
        {"C:\\dir\\x.dat", "/a", "C:/dir/x.dat"},
        {"x.dat", "", "x.dat"},
        {"sub/", "/a", "/a/sub/"},
    };
    for (const auto& c : cases) {
        std::string result = "old";
        FileSysHelper::RelativeToAbsolutePath(c.path, c.base, result);
        EXPECT_EQ(result, c.expected) << c.path << " against " << c.base;
    }
}

TEST(VornFileSysHelper, DividePathAndFormatPath) {
    EXPECT_EQ(FileSysHelper::DividePath("\\a//b\\c/"), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_TRUE(FileSysHelper::DividePath("//\\").empty());
    std::string path = "Dir\\Sub/File.TXT";
    FileSysHelper::FormatPath(path);
    EXPECT_EQ(path, "dir/sub/file.txt");
    char text[] = "a-b-c";
    FileSysHelper::ReplaceCharacter(text, '-', '+');
    EXPECT_STREQ(text, "a+b+c");
}

TEST(VornFileSysHelper, CreatePathDirectoriesTakesADottedLastPartForAFile) {
    QuorTest::TempDir dir("vornpath");
    QuorTest::ScopedCwd cwd(dir.path());
    std::string path = "a/b/c.txt";
    FileSysHelper::CreatePathDirectories(path);
    EXPECT_TRUE(QuorTest::Exists(dir / "a/b"));
    EXPECT_FALSE(QuorTest::Exists(dir / "a/b/c.txt"));
    path = "x/y/z";
    FileSysHelper::CreatePathDirectories(path);
    EXPECT_TRUE(QuorTest::Exists(dir / "x/y/z"));
}

}  // namespace
