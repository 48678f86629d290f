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

}  // namespace
