// The kernel's version list: reading (what is kept, what is dropped), writing, and bringing
// {root}/system in line with a staged list.
#include "kernel/VersionInfo.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/kit/TempDir.h"

namespace {

using Quor::Orvane::VersionInformation;
using Quor::Orvane::VersionList;
namespace fs = std::filesystem;

std::string Text(const VersionList& list) {
    std::string text;
    for (const VersionInformation& entry : list) text += entry.path + "=" + std::to_string(entry.version) + ";";
    return text;
}

TEST(VersionInfo, ReadingKeepsSafeEntriesOfThisPlatform) {
    QuorTest::QuorTree tree;
    const std::string path = tree.system() + "/list";
    QuorTest::WriteFile(path,
                        "Orvane.app/Contents/MacOS/Orvane,12\n"
                        "name,abc\n"          // no digits: version 0
                        "no comma here\n"
                        "trailing,\n"         // its only comma is its last character
                        "x,1,2\n"             // split at the first comma
                        "a.exe,3\n"           // other platforms' files
                        "dir\\Quor_Orvane.EXE.Version,4\n"
                        "sub/B.EXE,5\n"
                        "../x,6\n"            // not inside {root}/system
                        "/etc/passwd,7\n"
                        "a//b,8\n"
                        "a/./b,9\n"
                        "a\\..\\b,10\n"
                        "filelist.versioninfo,11\n"
                        "temp/Orvane,12\n"
                        "last,13");           // no line feed at the end
    VersionList list;
    ASSERT_TRUE(Quor::Orvane::GetVersionInfo(path, list));
    EXPECT_EQ("Orvane.app/Contents/MacOS/Orvane=12;name=0;x=1;last=13;", Text(list));
    EXPECT_FALSE(Quor::Orvane::GetVersionInfo(tree.system() + "/missing", list));
    EXPECT_TRUE(list.empty());
}

TEST(VersionInfo, WrittenListsReadBackAndReplaceTheOldOneWhole) {
    QuorTest::QuorTree tree;
    const std::string path = tree.system() + "/filelist.versioninfo";
    QuorTest::WriteFile(path, std::string(10000, 'x') + ",1\n");
    const VersionList list = {{"a/b c", 1}, {"d", 4000000000u}};
    ASSERT_TRUE(Quor::Orvane::WriteVersionInfo(path, list));
    EXPECT_EQ("a/b c,1\nd,-294967296\n", QuorTest::ReadFile(path));
    VersionList read;
    ASSERT_TRUE(Quor::Orvane::GetVersionInfo(path, read));
    EXPECT_EQ(Text(list), Text(read));
    EXPECT_EQ(1, std::distance(fs::directory_iterator(tree.system()), fs::directory_iterator()));
}

TEST(VersionInfo, StagedFilesReplaceChangedAndMissingOnesAndDroppedOnesGo) {
    QuorTest::QuorTree tree;
    const std::string system = tree.system() + "/";
    const std::string staged = system + "temp/";
    for (const char* name : {"same", "changed", "dropped", "unstaged"}) QuorTest::WriteFile(system + name, "old");
    for (const char* name : {"same", "changed", "new/deep/file", "missing"}) QuorTest::WriteFile(staged + name, "new");
    fs::permissions(staged + "changed", fs::perms::owner_all);
    fs::remove(system + "missing");
    const VersionList current = {{"same", 1}, {"changed", 1}, {"dropped", 1}, {"unstaged", 1}, {"missing", 1}};
    const VersionList fresh = {{"same", 1}, {"changed", 2}, {"new/deep/file", 1}, {"unstaged", 2}, {"missing", 1}};

    VersionList result;
    EXPECT_TRUE(Quor::Orvane::MoveUpdatedFiles(current, fresh, result));
    Quor::Orvane::DeleteOldFiles(current, fresh);
    // A file the staging folder lacks keeps its old entry, so that the next start tries again.
    EXPECT_EQ("same=1;changed=2;new/deep/file=1;unstaged=1;missing=1;", Text(result));
    EXPECT_EQ("old", QuorTest::ReadFile(system + "same"));
    EXPECT_EQ("new", QuorTest::ReadFile(system + "changed"));
    EXPECT_EQ(fs::perms::owner_all, fs::status(system + "changed").permissions());
    EXPECT_EQ("new", QuorTest::ReadFile(system + "new/deep/file"));
    EXPECT_EQ("new", QuorTest::ReadFile(system + "missing"));
    EXPECT_EQ("old", QuorTest::ReadFile(system + "unstaged"));
    EXPECT_FALSE(fs::exists(system + "dropped"));
    for (const auto& entry : fs::recursive_directory_iterator(system))
        EXPECT_EQ(entry.path().string().find("~orvane"), std::string::npos) << entry.path();
}

TEST(VersionInfo, AFileThatCannotBeReplacedKeepsItsOldEntry) {
    QuorTest::QuorTree tree;
    const std::string system = tree.system() + "/";
    QuorTest::WriteFile(system + "blocked", "not a folder");
    QuorTest::WriteFile(system + "temp/blocked/inner", "new");
    QuorTest::WriteFile(system + "temp/fine", "new");
    const VersionList current = {{"blocked/inner", 1}, {"fine", 1}};
    const VersionList fresh = {{"blocked/inner", 2}, {"fine", 2}};
    VersionList result;
    EXPECT_FALSE(Quor::Orvane::MoveUpdatedFiles(current, fresh, result));
    EXPECT_EQ("blocked/inner=1;fine=2;", Text(result));
    EXPECT_EQ("new", QuorTest::ReadFile(system + "fine"));
}

}  // namespace
