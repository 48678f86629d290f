#include "remote/NorripPackage.h"

#include <gtest/gtest.h>

#include "common/testing/LogCapture.h"
#include "tests/kit/TempDir.h"

namespace {

using Quor::User::NorripPackage;

TEST(NorripPackage, TemporaryFileOrFullPath) {
    QuorTest::QuorTree tree;
    Quor::Common::LocalFileSystem fileSystem;
    std::string temporaryPath;
    {
        NorripPackage package;
        EXPECT_FALSE(package.IsReady());
        {
            QuorTest::LogCapture log;
            EXPECT_EQ("", package.GetFullPath());
            EXPECT_TRUE(log.Has(Quor::Log::ERROR, "Was asked for a file name before a file was ready"));
        }
        HRESULT result = E_FAIL;
        package.setupTemporary(fileSystem, result);
        ASSERT_EQ(S_OK, result);
        EXPECT_TRUE(package.IsReady());
        temporaryPath = package.GetFullPath();
        EXPECT_EQ(0u, temporaryPath.find(tree.root() + "temp/TMP")) << temporaryPath;
        EXPECT_TRUE(QuorTest::Exists(temporaryPath));

        package.setupTemporary(fileSystem, result);  // already set up: the same file
        EXPECT_EQ(temporaryPath, package.GetFullPath());

        package.SetFullPath(tree.root() + "chosen.bin");
        EXPECT_EQ(tree.root() + "chosen.bin", package.GetFullPath());
    }
    EXPECT_FALSE(QuorTest::Exists(temporaryPath));  // deleted with the package
}

TEST(NorripPackage, FullPathSetFirstNeedsNoTemporaryFile) {
    QuorTest::QuorTree tree;
    Quor::Common::LocalFileSystem fileSystem;
    NorripPackage package;
    package.SetFullPath("/some/where.bin");
    HRESULT result = E_FAIL;
    package.setupTemporary(fileSystem, result);
    EXPECT_EQ(S_OK, result);
    EXPECT_EQ("/some/where.bin", package.GetFullPath());
    std::vector<std::string> made;
    Quor::Common::LocalFileSystem::FindFiles(made, (tree.root() + "temp/*").c_str(), false, true);
    for (const auto& name : made) EXPECT_TRUE(name == "." || name == "..") << name;
}

TEST(NorripPackage, FailedTemporaryFileIsReportedAndLeavesThePackageNotReady) {
    QuorTest::QuorTree tree;
    QuorTest::RemoveTree(tree.root() + "temp");
    QuorTest::WriteFile(tree.root() + "temp", "a file where the folder should be");
    Quor::Common::LocalFileSystem fileSystem;
    NorripPackage package;
    HRESULT result = S_OK;
    package.setupTemporary(fileSystem, result);
    EXPECT_TRUE(FAILED(result));
    EXPECT_FALSE(package.IsReady());
}

}  // namespace
