// The root-folder check: what it creates, what it leaves alone, and where it stops.
#include "update/VerifyLocalRootFolder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "common/testing/LogCapture.h"
#include "tests/kit/TempDir.h"

namespace {

const char* const kTop[] = {"projects", "solutions", "system", "temp"};

bool IsFolder(const std::string& path) {
    struct stat info{};
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

TEST(VerifyLocalRootFolder, AFreshRootGetsItsFiveFolders) {
    QuorTest::TempDir dir;
    const std::string root = dir / "base/QUOR";
    Quor::Common::LocalFileSystem fileSystem;
    EXPECT_EQ(S_OK, Quor::User::VerifyLocalRootFolder(root, fileSystem));
    EXPECT_TRUE(IsFolder(root));
    for (const char* top : kTop) EXPECT_TRUE(IsFolder(root + "/" + top)) << top;
}

TEST(VerifyLocalRootFolder, WhatStandsIsLeftAsItIs) {
    QuorTest::TempDir dir;
    const std::string root = dir / "QUOR";
    for (const char* top : {"solutions", "system", "temp"}) QuorTest::MakeDirs(root + "/" + top);
    QuorTest::WriteFile(root + "/system/keep.txt", "kept");
    QuorTest::WriteFile(root + "/projects", "a file where a folder would be");
    Quor::Common::LocalFileSystem fileSystem;
    QuorTest::LogCapture log;
    EXPECT_EQ(S_OK, Quor::User::VerifyLocalRootFolder(root, fileSystem));
    EXPECT_EQ("a file where a folder would be", QuorTest::ReadFile(root + "/projects"));
    EXPECT_EQ("kept", QuorTest::ReadFile(root + "/system/keep.txt"));
    EXPECT_FALSE(log.Contains("CreateDirectory")) << log.All();  // nothing was missing
    EXPECT_EQ("", log.Errors());
}

TEST(VerifyLocalRootFolder, AFolderThatCannotBeMadeStopsTheCheck) {
    QuorTest::TempDir dir;
    const std::string root = dir / "QUOR";
    QuorTest::MakeDirs(root + "/projects");
    ASSERT_EQ(0, ::symlink((dir / "nowhere").c_str(), (root + "/solutions").c_str()));
    Quor::Common::LocalFileSystem fileSystem;
    QuorTest::LogCapture log;
    EXPECT_LT(Quor::User::VerifyLocalRootFolder(root, fileSystem), 0);
    EXPECT_TRUE(log.HasError("Failed while creating folders for Quor.")) << log.All();
    EXPECT_FALSE(QuorTest::Exists(root + "/system"));
    EXPECT_FALSE(QuorTest::Exists(root + "/temp"));
    EXPECT_FALSE(QuorTest::Exists(dir / "nowhere"));
}

// In the kernel's own tree a link standing for the projects, solutions or temporary folder is
// replaced by a real folder; what it pointed to keeps its content.
TEST(VerifyLocalRootFolder, ALinkStandingForATreeFolderIsReplacedByARealOne) {
    QuorTest::QuorTree tree;
    QuorTest::TempDir outside;
    QuorTest::WriteFile(outside / "TMPkeep", "kept");
    const std::string root = tree.root().substr(0, tree.root().size() - 1);
    for (const char* top : {"projects", "solutions", "temp"}) {
        QuorTest::RemoveTree(root + "/" + top);
        ASSERT_EQ(0, ::symlink(outside.path().c_str(), (root + "/" + top).c_str())) << top;
    }
    Quor::Common::LocalFileSystem fileSystem;
    QuorTest::LogCapture log;
    EXPECT_EQ(S_OK, Quor::User::VerifyLocalRootFolder(root, fileSystem));
    for (const char* top : {"projects", "solutions", "temp"}) EXPECT_TRUE(IsFolder(root + "/" + top)) << top;
    EXPECT_TRUE(log.Has(Quor::Log::WARNING, "A symbolic link stood where the tree holds \"" + root +
                                                "/temp\": removed, not followed."))
        << log.All();
    EXPECT_EQ("kept", QuorTest::ReadFile(outside / "TMPkeep"));
}

}  // namespace
