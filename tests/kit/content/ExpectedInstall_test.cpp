// The expected tree of an installed release agrees with a snapshot of a tree laid out by hand as
// an installation leaves it: deploy, managed and archived files, kept-compressed copies.
#include <gtest/gtest.h>

#include <string>

#include "archive/ManagedFileHelper.h"
#include "common/ConvertVersion.h"
#include "tests/kit/TempDir.h"
#include "tests/kit/content/ExpectedInstall.h"
#include "tools/contenttree/ContentTreeBuilder.h"

namespace {

using namespace Quor::Tools::ContentTree;

TEST(ExpectedInstall, MatchesATreeLaidOutAsAnInstallLeavesIt) {
    QuorTest::QuorTree tree;
    QuorTest::TempDir server{"quorserver"};
    ContentDescription description;
    ProductSpec& alpha = description.AddProject("alpha");
    alpha.AddRelease(0x01000001).AddFile("old.txt", 0x02, "archived at 1.0.0.1");
    ReleaseSpec& release = alpha.AddRelease(0x01000002);
    release.AddFile("bin/run.sh", 0x08, "run");
    release.AddFile("c/packed.bin", 0x14, std::string(4000, 'p'));
    release.AddFile("m/shared.dat", 0x01, "managed");
    release.AddFile("old.txt", 0x02, "archived at 1.0.0.1").version = 0x01000001;
    std::string error;
    ASSERT_TRUE(BuildContentTree(description, server.path(), error)) << error;

    const std::string root = tree.root();
    const std::string serverFolder = ReleaseFolder(server.path(), description, "alpha", 0x01000002);
    const std::string releaseFolder = root + "projects/alpha/releases/1.0.0.2/";
    QuorTest::WriteFile(releaseFolder + "S_OK", "");
    QuorTest::WriteFile(releaseFolder + "releasemanifest", QuorTest::ReadFile(serverFolder + "/releasemanifest"));
    QuorTest::WriteFile(releaseFolder + "deploy/bin/run.sh", "run");
    QuorTest::WriteFile(releaseFolder + "deploy/c/packed.bin",
                        QuorTest::ReadFile(serverFolder + "/files/c/packed.bin.compressed"));
    QuorTest::WriteFile(root + "projects/alpha/managedfiles/1.0.0.2/m/shared.dat", "managed");
    QuorTest::WriteFile(root + "temp/old.txt", "archived at 1.0.0.1");
    ASSERT_EQ(S_OK, Quor::User::ManagedFileHelper::AddFile("alpha", 0x01000001, "old.txt", root + "temp/old.txt"));
    ASSERT_EQ(S_OK, Quor::User::ManagedFileHelper::Flush(0));
    Quor::User::ManagedFileHelper::Release();

    const QuorTest::TreeSnapshot expected =
        QuorTest::ExpectedProjectInstall(description, server.path(), "alpha", 0x01000002);
    EXPECT_EQ("", QuorTest::SnapshotDifference(expected, QuorTest::TakeSnapshot(root, {"temp/", "system/", "solutions/"})));
}

TEST(ExpectedInstall, ASolutionDeployFolderTakesEachNameFromItsHighestPriorityProject) {
    QuorTest::QuorTree tree;
    QuorTest::TempDir server{"quorserver"};
    ContentDescription description;
    ReleaseSpec& alpha = description.AddProject("alpha").AddRelease(0x01000001);
    alpha.AddFile("data/z.txt", 0, "from alpha");
    alpha.AddFile("a.txt", 0, "only alpha");
    alpha.AddFile("m.dat", 0x01, "managed, not deployed");
    description.AddProject("beta").AddRelease(0x01000001).AddFile("DATA/z.txt", 0, "from beta");
    ReleaseSpec& suite = description.AddSolution("suite").AddRelease(0x02000001);
    suite.projects = {{"alpha", 0x01000001, 5, 0}, {"beta", 0x01000001, 9, 0}};
    suite.configurations = {{"en_US", {"alpha", "beta"}}, {"fr_FR", {"alpha"}}};
    std::string error;
    ASSERT_TRUE(BuildContentTree(description, server.path(), error)) << error;

    const std::string deploy = "solutions/suite/releases/2.0.0.1/deploy/";
    QuorTest::TreeSnapshot english =
        QuorTest::ExpectedSolutionInstall(description, server.path(), "suite", 0x02000001, "EN_us");
    EXPECT_EQ(QuorTest::Md5Hex("from beta"), english.at(deploy + "DATA/z.txt"));
    EXPECT_EQ(0u, english.count(deploy + "data/z.txt"));
    EXPECT_EQ(QuorTest::Md5Hex("only alpha"), english.at(deploy + "a.txt"));
    EXPECT_EQ(0u, english.count(deploy + "m.dat"));
    EXPECT_EQ(1u, english.count("projects/beta/releases/1.0.0.1/deploy/DATA/z.txt"));
    QuorTest::TreeSnapshot french =
        QuorTest::ExpectedSolutionInstall(description, server.path(), "suite", 0x02000001, "fr_FR");
    EXPECT_EQ(QuorTest::Md5Hex("from alpha"), french.at(deploy + "data/z.txt"));
    EXPECT_NE(english.at("solutions/suite/releases/2.0.0.1/configurationmanifest"),
              french.at("solutions/suite/releases/2.0.0.1/configurationmanifest"));
}

}  // namespace
