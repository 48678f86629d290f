// The file operations of the common library on paths of the install tree never follow a symbolic
// link: a link planted on the way or at the place itself is removed as damage, the operation
// acts on real tree content (or fails as for a missing name), and what the link pointed to stays
// as it was. Paths outside the tree keep their plain behaviour.
#include "common/TreePath.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "common/CRT.h"
#include "common/FileSysHelper.h"
#include "common/LocalFileSystem.h"
#include "common/RegularFile.h"
#include "common/UniqueFile.h"
#include "common/testing/LogCapture.h"
#include "tests/kit/TempDir.h"

namespace {

using Quor::Common::LocalFileSystem;
namespace TreePath = Quor::Common::TreePath;

bool IsLink(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode);
}

std::string Listing(const std::string& folder) {
    std::string listing;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        listing += entry.path().string();
        if (entry.is_regular_file()) listing += "=" + QuorTest::ReadFile(entry.path().string());
        listing += "\n";
    }
    return listing;
}

bool WriteThroughStream(const std::string& path, const char* mode, const std::string& bytes) {
    FILE* opened = nullptr;
    if (Quor::Common::CRT::fopen_s(&opened, path.c_str(), mode) != 0) return false;
    Quor::Common::UniqueFile stream(opened);
    return std::fwrite(bytes.data(), 1, bytes.size(), stream.get()) == bytes.size() && stream.Close();
}

class TreePathTest : public ::testing::Test {
protected:
    void SetUp() override {
        QuorTest::WriteFile(canary.path() + "/folder/f.txt", "canary file in a folder");
        QuorTest::MakeDirs(canary.path() + "/folder/sub");
        QuorTest::WriteFile(canary.path() + "/file", "canary file");
        QuorTest::MakeDirs(deploy);
        QuorTest::WriteFile(scratch, "bytes from the scratch file");
    }

    QuorTest::QuorTree tree;
    QuorTest::TempDir canary{"quorcanary"};
    const std::string root = tree.root().substr(0, tree.root().size() - 1);
    const std::string deploy = root + "/projects/p/releases/1.0.0.1/deploy";
    const std::string scratch = root + "/system/scratch.txt";  // outside the tree's three folders
};

// A link to a folder outside stands where the tree holds the folder "deploy".
TEST_F(TreePathTest, ALinkOnTheWayIsRemovedAndNeverPassed) {
    struct Case {
        const char* what;
        std::function<bool()> run;  // the operation's success
        bool succeeds;
        const char* left;  // what deploy/f.txt holds afterwards ("" for nothing)
    };
    const std::string file = deploy + "/f.txt";
    const std::vector<Case> cases = {
        {"CreateDirectory", [&] { return LocalFileSystem::CreateDirectory(deploy + "/sub") == S_OK; }, true, ""},
        {"CreateDirectoryAndIntermediatePaths",
         [&] { return Quor::Common::FileSysHelper::CreateDirectoryAndIntermediatePaths((deploy + "/sub/").c_str()) == S_OK; },
         true, ""},
        {"DeleteFile", [&] { return LocalFileSystem::DeleteFile(file) == S_OK; }, false, ""},
        {"DoesFileOrDirectoryExist", [&] { return LocalFileSystem::DoesFileOrDirectoryExist(file); }, false, ""},
        {"CopyFile into it", [&] { return LocalFileSystem::CopyFile(scratch, file, false) == S_OK; }, true,
         "bytes from the scratch file"},
        {"CopyFile out of it", [&] { return LocalFileSystem::CopyFile(file, root + "/system/out", false) == S_OK; },
         false, ""},
        {"MoveFile into it", [&] { return LocalFileSystem::MoveFile(scratch, file, 3) == S_OK; }, false, ""},
        {"a stream written", [&] { return WriteThroughStream(file, "wb", "written"); }, true, "written"},
        {"a regular file read", [&] { return Quor::Common::OpenRegularFile(file).IsValid(); }, false, ""},
        {"a listing", [&] {
             std::vector<Vorn::FileSystem::FindFileResult> found;
             return LocalFileSystem::FindFiles(found, (deploy + "/*").c_str()) == S_OK && !found.empty();
         }, false, ""},
        {"RemoveDirectory", [&] { return LocalFileSystem::RemoveDirectory(deploy + "/sub") == S_OK; }, false, ""},
        {"a temporary file in it", [&] {
             std::string made;
             return LocalFileSystem::CreateTempFileInDirectory(made, deploy.c_str()) == S_OK;
         }, false, ""},
    };
    const std::string before = Listing(canary.path());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QuorTest::WriteFile(scratch, "bytes from the scratch file");
        std::filesystem::remove_all(deploy);
        ASSERT_EQ(0, ::symlink((canary.path() + "/folder").c_str(), deploy.c_str()));
        QuorTest::LogCapture log(Quor::Log::WARNING);
        EXPECT_EQ(c.succeeds, c.run());
        EXPECT_FALSE(IsLink(deploy));
        EXPECT_TRUE(log.Has(Quor::Log::WARNING,
                            "A symbolic link stood where the tree holds \"" + deploy + "\": removed, not followed."))
            << log.All();
        EXPECT_EQ(std::string(c.left), QuorTest::Exists(file) ? QuorTest::ReadFile(file) : "");
        EXPECT_EQ(before, Listing(canary.path()));
    }
}

// A link to a file outside stands where the tree holds the file "deploy/f.txt".
TEST_F(TreePathTest, ALinkAtTheFilesPlaceIsNeitherReadNorWrittenThrough) {
    struct Case {
        const char* what;
        std::function<bool()> run;
        bool succeeds;
        const char* left;  // what deploy/f.txt holds afterwards ("" for nothing)
    };
    const std::string file = deploy + "/f.txt";
    const std::vector<Case> cases = {
        {"DeleteFile", [&] { return LocalFileSystem::DeleteFile(file) == S_OK; }, true, ""},
        {"DoesFileOrDirectoryExist", [&] { return LocalFileSystem::DoesFileOrDirectoryExist(file); }, false, ""},
        {"CopyFile onto it", [&] { return LocalFileSystem::CopyFile(scratch, file, false) == S_OK; }, true,
         "bytes from the scratch file"},
        {"CopyFile onto it unless it exists", [&] { return LocalFileSystem::CopyFile(scratch, file, true) == S_OK; },
         true, "bytes from the scratch file"},
        {"CopyFile from it", [&] { return LocalFileSystem::CopyFile(file, root + "/system/out", false) == S_OK; },
         false, ""},
        {"MoveFile from it", [&] { return LocalFileSystem::MoveFile(file, deploy + "/g.txt", 3) == S_OK; }, false, ""},
        {"MoveFile onto it", [&] { return LocalFileSystem::MoveFile(scratch, file, 3) == S_OK; }, true,
         "bytes from the scratch file"},
        {"a stream written", [&] { return WriteThroughStream(file, "wb", "written"); }, true, "written"},
        {"a stream appended", [&] { return WriteThroughStream(file, "ab", "appended"); }, true, "appended"},
        {"a stream read", [&] {
             FILE* opened = nullptr;
             Quor::Common::CRT::fopen_s(&opened, file.c_str(), "rb");
             Quor::Common::UniqueFile stream(opened);
             return opened != nullptr;
         }, false, ""},
        {"a regular file read", [&] { return Quor::Common::OpenRegularFile(file).IsValid(); }, false, ""},
        {"the size asked", [&] {
             UINT size = 0;
             return Quor::Common::FileSysHelper::GetFileSize(file, size) == S_OK;
         }, false, ""},
        {"RemoveReadOnly", [&] { return LocalFileSystem::RemoveReadOnly(file) == S_OK; }, false, ""},
        {"CreateFile for writing", [&] {
             Vorn::FileSystem::FilePtr_t made;
             return LocalFileSystem::CreateFile(made, file.c_str(), Vorn::FileSystem::eFileAccessWrite, 0, 0, 0,
                                                nullptr) == S_OK;
         }, true, ""},
    };
    ASSERT_EQ(0, ::chmod((canary.path() + "/file").c_str(), 0600));
    const std::string before = Listing(canary.path());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QuorTest::WriteFile(scratch, "bytes from the scratch file");
        std::filesystem::remove(deploy + "/g.txt");
        std::filesystem::remove(file);
        ASSERT_EQ(0, ::symlink((canary.path() + "/file").c_str(), file.c_str()));
        QuorTest::LogCapture log(Quor::Log::ERROR);
        EXPECT_EQ(c.succeeds, c.run());
        EXPECT_FALSE(IsLink(file));
        EXPECT_FALSE(IsLink(deploy + "/g.txt"));
        EXPECT_EQ(std::string(c.left), QuorTest::Exists(file) ? QuorTest::ReadFile(file) : "");
        EXPECT_EQ(before, Listing(canary.path()));
        struct stat status {};
        ASSERT_EQ(0, ::stat((canary.path() + "/file").c_str(), &status));
        EXPECT_EQ(0600u, status.st_mode & 0777);
    }
}

// Listings of the tree name a link as a file, never as a folder (a release folder that is a link
// is not an installed release), and never list a folder through a link on the way.
TEST_F(TreePathTest, ListingsNeverTakeALinkForAFolder) {
    const std::string linked = root + "/projects/q";
    ASSERT_EQ(0, ::symlink((canary.path() + "/folder").c_str(), linked.c_str()));
    std::vector<std::string> through;
    ASSERT_EQ(S_OK, LocalFileSystem::FindFiles(through, (linked + "/*").c_str(), true, false));
    EXPECT_EQ(std::vector<std::string>{}, through);
    EXPECT_FALSE(IsLink(linked));

    const std::string releases = root + "/projects/p/releases";
    ASSERT_EQ(0, ::symlink((canary.path() + "/folder").c_str(), (releases + "/1.0.0.2").c_str()));
    std::vector<std::string> folders;
    ASSERT_EQ(S_OK, LocalFileSystem::FindFiles(folders, (releases + "/*").c_str(), true, false));
    std::erase_if(folders, [](const std::string& name) { return name == "." || name == ".."; });
    EXPECT_EQ(std::vector<std::string>{"1.0.0.1"}, folders);
    std::vector<Vorn::FileSystem::FindFileResult> entries;
    ASSERT_EQ(S_OK, LocalFileSystem::FindFiles(entries, (releases + "/*").c_str()));
    for (const auto& entry : entries) {
        EXPECT_FALSE(entry.name == "1.0.0.2" && entry.isDirectory);
    }
}

// {root}/temp replaced by a link: temporary files are made in a real folder again.
TEST_F(TreePathTest, TemporaryFilesAreNeverMadeThroughALinkedTemporaryFolder) {
    std::filesystem::remove_all(tree.temp());
    ASSERT_EQ(0, ::symlink((canary.path() + "/folder").c_str(), tree.temp().c_str()));
    const std::string before = Listing(canary.path());
    std::string made;
    ASSERT_EQ(S_OK, LocalFileSystem::CreateTempFile(made));
    EXPECT_EQ(tree.temp() + "/", made.substr(0, tree.temp().size() + 1));
    EXPECT_EQ(0u, made.find(tree.temp() + "/TMP"));
    EXPECT_FALSE(IsLink(tree.temp()));
    EXPECT_TRUE(std::filesystem::is_regular_file(made));
    EXPECT_EQ(before, Listing(canary.path()));
}

TEST_F(TreePathTest, TheTreeIsWhatLiesInProjectsSolutionsAndTempOfTheRoot) {
    for (const std::string inside : {"/projects", "/projects/p/releases", "/solutions/s/x", "/temp", "/temp/TMPa"})
        EXPECT_TRUE(TreePath::Contains(root + inside)) << inside;
    for (const std::string outside : {"", "/", "/system", "/system/x", "/quor_orvane.log", "/projectsX/a",
                                      "/projects/../system", "/projects/./p"})
        EXPECT_FALSE(TreePath::Contains(root + outside)) << outside;
    EXPECT_FALSE(TreePath::Contains(canary.path() + "/projects"));
    EXPECT_FALSE(TreePath::Contains("projects/p"));

    // A working folder outside any "QUOR" folder has no tree: nothing there is handled as one.
    QuorTest::ScopedCwd elsewhere(canary.path());
    EXPECT_FALSE(TreePath::Contains(canary.path() + "/projects/p"));
}

// Outside the tree's folders links stay as the machine has them (the system folder is the
// program's own).
TEST_F(TreePathTest, LinksOutsideTheTreeAreLeftAlone) {
    const std::string link = root + "/system/linked";
    ASSERT_EQ(0, ::symlink((canary.path() + "/folder").c_str(), link.c_str()));
    EXPECT_TRUE(LocalFileSystem::DoesFileOrDirectoryExist(link + "/f.txt"));
    EXPECT_TRUE(IsLink(link));
    // A file in the tree copied from there is read as the system reads it.
    EXPECT_EQ(S_OK, LocalFileSystem::CopyFile(link + "/f.txt", deploy + "/copy.txt", false));
    EXPECT_EQ("canary file in a folder", QuorTest::ReadFile(deploy + "/copy.txt"));
}

}  // namespace
