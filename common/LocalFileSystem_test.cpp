#include "common/LocalFileSystem.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "common/LastError.h"
#include "common/LocalDirectoryStructure.h"
#include "common/LocalRootFolder.h"
#include "tests/kit/TempDir.h"

using namespace Quor::Common;
using QuorTest::Exists;
using QuorTest::MakeDirs;
using QuorTest::QuorTree;
using QuorTest::ReadFile;
using QuorTest::TempDir;
using QuorTest::WriteFile;

TEST(LocalRootFolder, IsTheWorkingFolderCutAfterTheLastQuorComponent) {
    struct {
        const char* cwd;
        const char* root;
    } cases[] = {
        {"/x/QUOR/system", "/x/QUOR"}, {"/x/QUOR/projects/p/releases/0.0.0.1/deploy", "/x/QUOR"},
        {"/x/QUOR", "/x/QUOR"},        {"/a/QUOR/b/QUOR/c", "/a/QUOR/b/QUOR"},
        {"/a/XQUOR/b", "/a/XQUOR"},    {"/a/quor/b", "/a/quor/b"},
        {"\\a\\QUOR\\b", "/a/QUOR"},   {"/elsewhere", "/elsewhere"},
    };
    for (const auto& c : cases) EXPECT_EQ(LocalRootFolder::FromWorkingFolder(c.cwd), c.root) << c.cwd;
}

TEST(LocalRootFolder, FollowsTheWorkingFolderAndHasNoOverride) {
    TempDir dir;
    MakeDirs(dir / "x/QUOR/system");
    QuorTest::ScopedCwd cwd(dir / "x/QUOR/system");
    EXPECT_EQ(LocalRootFolder::Get(), dir / "x/QUOR");
    LocalRootFolder::SetOverride("/somewhere/else");
    EXPECT_EQ(LocalRootFolder::Set("/other"), S_OK);
    EXPECT_EQ(LocalRootFolder::Get(), dir / "x/QUOR");

    std::string path;
    ASSERT_EQ(LocalDirectoryStructure::GetProjectDeployPath("kiv_launcher", 0x00000102, path), S_OK);
    EXPECT_EQ(path, dir / "x/QUOR/projects/kiv_launcher/releases/0.0.1.2/deploy");
}

TEST(LocalDirectoryStructure, BuildsEveryInstallTreePath) {
    QuorTree tree;
    const std::string root = tree.root().substr(0, tree.root().size() - 1);
    std::string path;
    struct {
        HRESULT (*build)(const std::string&, std::string&);
        const char* expected;
    } plain[] = {
        {&LocalDirectoryStructure::GetProjectPath, "/projects/p"},
        {&LocalDirectoryStructure::GetSolutionPath, "/solutions/p"},
    };
    for (const auto& c : plain) {
        ASSERT_EQ(c.build("p", path), S_OK);
        EXPECT_EQ(path, root + c.expected);
    }
    using ByNumber = HRESULT (*)(const std::string&, DWORD, std::string&);
    using ByText = HRESULT (*)(const std::string&, const std::string&, std::string&);
    struct {
        ByNumber byNumber;
        ByText byText;
        const char* expected;
    } versioned[] = {
        {&LocalDirectoryStructure::GetProjectReleasePath, &LocalDirectoryStructure::GetProjectReleasePath,
         "/projects/p/releases/1.2.3.4"},
        {&LocalDirectoryStructure::GetProjectReleaseOkPath, &LocalDirectoryStructure::GetProjectReleaseOkPath,
         "/projects/p/releases/1.2.3.4/S_OK"},
        {&LocalDirectoryStructure::GetProjectDeployPath, &LocalDirectoryStructure::GetProjectDeployPath,
         "/projects/p/releases/1.2.3.4/deploy"},
        {&LocalDirectoryStructure::GetSolutionReleasePath, &LocalDirectoryStructure::GetSolutionReleasePath,
         "/solutions/p/releases/1.2.3.4"},
        {&LocalDirectoryStructure::GetSolutionReleaseOkPath,
         &LocalDirectoryStructure::GetSolutionReleaseOkPath, "/solutions/p/releases/1.2.3.4/S_OK"},
        {&LocalDirectoryStructure::GetSolutionDeployPath, &LocalDirectoryStructure::GetSolutionDeployPath,
         "/solutions/p/releases/1.2.3.4/deploy"},
    };
    for (const auto& c : versioned) {
        path = "old";
        ASSERT_EQ(c.byNumber("p", 0x01020304, path), S_OK);
        EXPECT_EQ(path, root + c.expected);
        path = "old";
        ASSERT_EQ(c.byText("p", "1.2.3.4", path), S_OK);
        EXPECT_EQ(path, root + c.expected);
    }
    ASSERT_EQ(LocalDirectoryStructure::GetSolutionReleaseOkPath("kiv_game_client_sln", "0.0.0.130", path),
              S_OK);
    EXPECT_EQ(path, root + "/solutions/kiv_game_client_sln/releases/0.0.0.130/S_OK");
}

TEST(LocalDirectoryStructure, RefusesNamesAndVersionTextsThatWouldLeaveTheTree) {
    QuorTree tree;
    const std::string bad[] = {"", ".", "..", "../../etc", "a/b", "/abs", "a\\b", std::string("a\0b", 3)};
    testing::internal::CaptureStderr();
    for (const std::string& name : bad) {
        std::string path = "old";
        EXPECT_EQ(LocalDirectoryStructure::GetProjectPath(name, path), E_INVALIDARG) << name;
        EXPECT_EQ(path, "");
        path = "old";
        EXPECT_EQ(LocalDirectoryStructure::GetSolutionDeployPath(name, 1, path), E_INVALIDARG) << name;
        EXPECT_EQ(path, "");
        EXPECT_EQ(LocalDirectoryStructure::GetProjectReleasePath("good", name, path), E_INVALIDARG) << name;
        EXPECT_EQ(path, "");
        EXPECT_FALSE(LocalDirectoryStructure::IsValidName(name));
    }
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Refusing name \"../../etc\""), std::string::npos) << err;
    for (const char* good : {"kiv_launcher", "a.b", "..x", "x..", "Kindrel Game"})
        EXPECT_TRUE(LocalDirectoryStructure::IsValidName(good)) << good;
}

TEST(LocalFileSystem, DoesFileOrDirectoryExistForFoldersAndRegularFilesOnly) {
    TempDir dir;
    WriteFile(dir / "file", "x");
    MakeDirs(dir / "folder");
    EXPECT_TRUE(LocalFileSystem::DoesFileOrDirectoryExist(dir / "file"));
    EXPECT_TRUE(LocalFileSystem::DoesFileOrDirectoryExist(dir / "folder"));
    EXPECT_FALSE(LocalFileSystem::DoesFileOrDirectoryExist(dir / "missing"));
}

TEST(LocalFileSystem, FolderOperationsAndWorkingFolder) {
    TempDir dir;
    EXPECT_EQ(LocalFileSystem::CreateDirectory(dir / "a/b/c"), S_OK);
    EXPECT_TRUE(Exists(dir / "a/b/c"));
    EXPECT_EQ(LocalFileSystem::RemoveDirectory(dir / "a/b/c"), S_OK);
    EXPECT_FALSE(Exists(dir / "a/b/c"));

    testing::internal::CaptureStderr();
    EXPECT_EQ(LocalFileSystem::RemoveDirectory(dir / "a"), E_FAIL) << "not empty";
    WriteFile(dir / "a/file", "x");
    EXPECT_EQ(LocalFileSystem::CreateDirectory(dir / "a/file/sub"), E_FAIL) << "a file on the way";
    EXPECT_EQ(LocalFileSystem::SetCurrentDirectory(dir / "missing"), E_FAIL);
    testing::internal::GetCapturedStderr();

    QuorTest::ScopedCwd restore("/");
    ASSERT_EQ(LocalFileSystem::SetCurrentDirectory(dir / "a"), S_OK);
    std::string cwd;
    EXPECT_EQ(LocalFileSystem::GetCurrentDirectory(cwd), S_OK);
    EXPECT_EQ(cwd, dir / "a");
}

TEST(LocalFileSystem, DeleteCopyAndMoveReportFailuresWithTheLastError) {
    TempDir dir;
    WriteFile(dir / "src", "content");
    EXPECT_EQ(LocalFileSystem::CopyFile(dir / "src", dir / "new/folder/dst", true), S_OK);
    EXPECT_EQ(ReadFile(dir / "new/folder/dst"), "content");
    WriteFile(dir / "src", "changed");
    testing::internal::CaptureStderr();
    EXPECT_EQ(LocalFileSystem::CopyFile(dir / "src", dir / "new/folder/dst", true), E_FAIL);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(ReadFile(dir / "new/folder/dst"), "content");
    EXPECT_EQ(LocalFileSystem::CopyFile(dir / "src", dir / "new/folder/dst", false), S_OK);
    EXPECT_EQ(ReadFile(dir / "new/folder/dst"), "changed");

    EXPECT_EQ(LocalFileSystem::MoveFile(dir / "src", dir / "moved", 3), S_OK);
    EXPECT_EQ(ReadFile(dir / "moved"), "changed");
    EXPECT_EQ(LocalFileSystem::DeleteFile(dir / "moved"), S_OK);
    EXPECT_FALSE(Exists(dir / "moved"));

    testing::internal::CaptureStderr();
    EXPECT_EQ(LocalFileSystem::DeleteFile(dir / "moved"), E_FAIL);
    testing::internal::GetCapturedStderr();
}

TEST(LocalFileSystem, AFailedMoveWritesTheErrorTextThenTheMoveLine) {
    QuorTree tree;
    testing::internal::CaptureStderr();
    EXPECT_EQ(LocalFileSystem::MoveFile("missing", "other", 3), E_FAIL);
    const std::string err = testing::internal::GetCapturedStderr();
    const std::string tag =
        "static HRESULT Quor::Common::LocalFileSystem::MoveFile(const std::string &, const std::string &, "
        "DWORD): ";
    const size_t text =
        err.find(tag + "Unspecified error occurred. Please check the logs for more information.\n");
    const size_t move =
        err.find(tag + "Error moving file \"missing\" to \"other\" with flags 0x00000003 - return value 0\n");
    ASSERT_NE(text, std::string::npos) << err;
    ASSERT_NE(move, std::string::npos) << err;
    EXPECT_LT(text, move);
}

TEST(LocalFileSystem, RemoveReadOnlyAddsReadAndWriteForTheOwnerOnly) {
    TempDir dir;
    WriteFile(dir / "ro", "x");
    ASSERT_EQ(chmod((dir / "ro").c_str(), 0444), 0);
    EXPECT_EQ(LocalFileSystem::RemoveReadOnly(dir / "ro"), S_OK);
    struct stat st;
    ASSERT_EQ(stat((dir / "ro").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u) << "others never gain write permission";

    testing::internal::CaptureStderr();
    EXPECT_EQ(LocalFileSystem::RemoveReadOnly(dir / "missing"), E_FAIL);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "no error text is logged";
}

TEST(LocalFileSystem, TemporaryFilesAreMadeInTheRootsTempFolderWithTheirPrefix) {
    QuorTree tree;
    QuorTest::RemoveTree(tree.root() + "temp");  // created when missing
    std::string first, second;
    ASSERT_EQ(LocalFileSystem::CreateTempFile(first), S_OK);
    ASSERT_EQ(LocalFileSystem::CreateTempFile(second), S_OK);
    EXPECT_NE(first, second);
    for (const std::string& path : {first, second}) {
        EXPECT_EQ(path.rfind(tree.root() + "temp/TMP", 0), 0u) << path;
        EXPECT_EQ(path.size(), (tree.root() + "temp/TMP").size() + 6) << path;
        EXPECT_TRUE(Exists(path));
        EXPECT_EQ(ReadFile(path), "");
    }

    std::string inFolder;
    ASSERT_EQ(LocalFileSystem::CreateTempFileInDirectory(inFolder, tree.system().c_str()), S_OK);
    EXPECT_EQ(inFolder.rfind(tree.system() + "/TMP", 0), 0u) << inFolder;

    testing::internal::CaptureStderr();
    std::string none = "old";
    EXPECT_EQ(LocalFileSystem::CreateTempFileInDirectory(none, (tree.root() + "missing").c_str()), E_FAIL);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(none, "");
}

TEST(LocalFileSystem, FindFilesListsFoldersOrEverythingThroughTheFileIterator) {
    QuorTree tree;
    MakeDirs(tree.root() + "projects/alpha/releases/0.0.0.1");
    MakeDirs(tree.root() + "projects/alpha/releases/0.0.0.2");
    WriteFile(tree.root() + "projects/alpha/releases/notes.txt", "x");
    QuorTest::ScopedCwd cwd(tree.root() + "projects/alpha/releases");

    std::vector<std::string> names;
    ASSERT_EQ(LocalFileSystem::FindFiles(names, nullptr, true, false), S_OK);
    EXPECT_THAT(names, testing::UnorderedElementsAre("0.0.0.1", "0.0.0.2"));
    ASSERT_EQ(LocalFileSystem::FindFiles(names, "*", false, true), S_OK);
    EXPECT_THAT(names, testing::UnorderedElementsAre("0.0.0.1", "0.0.0.2", "notes.txt"));
    ASSERT_EQ(LocalFileSystem::FindFiles(names, "*.txt", true, true), S_OK);
    EXPECT_THAT(names, testing::ElementsAre("notes.txt"));
    ASSERT_EQ(LocalFileSystem::FindFiles(names, "nothing*", true, true), S_OK);
    EXPECT_TRUE(names.empty());
}

TEST(LastError, AFailureThatLeftNoErrorNumberIsStillAFailure) {
    QuorTree tree;
    testing::internal::CaptureStderr();
    errno = 0;
    EXPECT_EQ(LastErrorFailure("HRESULT Op()"), E_FAIL);
    errno = EACCES;
    EXPECT_EQ(LastErrorFailure("HRESULT Op()"), E_FAIL);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("HRESULT Op(): The operation failed without a system error number."),
              std::string::npos)
        << err;
}

TEST(LocalFileSystem, FindFilesWithResultsAndCreateFileUseTheFoundationsFiles) {
    TempDir dir;
    WriteFile(dir / "d/a.txt", "a");
    MakeDirs(dir / "d/sub");
    std::vector<Vorn::FileSystem::FindFileResult> found;
    ASSERT_EQ(LocalFileSystem::FindFiles(found, (dir / "d/*").c_str()), S_OK);
    std::vector<std::string> names;
    for (const auto& entry : found)
        if (entry.name != "." && entry.name != "..")
            names.push_back(entry.name + (entry.isDirectory ? "/" : ""));
    EXPECT_THAT(names, testing::UnorderedElementsAre("a.txt", "sub/"));
    EXPECT_EQ(LocalFileSystem::FindFiles(found, (dir / "missing/*").c_str()), E_FAIL);

    Vorn::FileSystem::FilePtr_t file;
    ASSERT_EQ(LocalFileSystem::CreateFile(file, (dir / "new.bin").c_str(), Vorn::FileSystem::eFileAccessWrite,
                                          0, 0, 0, nullptr),
              S_OK);
    EXPECT_TRUE(file);
    testing::internal::CaptureStderr();
    EXPECT_EQ(LocalFileSystem::CreateFile(file, (dir / "none.bin").c_str(), Vorn::FileSystem::eFileAccessRead,
                                          0, 0, 0, nullptr),
              E_FAIL);
    testing::internal::GetCapturedStderr();
    EXPECT_FALSE(file);
}

TEST(LocalRootFolder, AnUnreadableWorkingFolderGivesARelativeRootNotTheFileSystemRoot) {
    TempDir dir;
    MakeDirs(dir / "gone/QUOR/system");
    QuorTest::ScopedCwd cwd(dir / "gone/QUOR/system");
    QuorTest::RemoveTree(dir / "gone");
    testing::internal::CaptureStderr();
    EXPECT_EQ(LocalRootFolder::Get(), ".");
    std::string path;
    EXPECT_EQ(LocalDirectoryStructure::GetProjectPath("p", path), S_OK);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(path, "./projects/p");
}
