// Tree snapshots: plain files by MD5, archive pairs by stored path, and a readable difference.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "archive/IMain.h"
#include "archive/ManagedFileHelper.h"
#include "tests/kit/TempDir.h"
#include "tests/kit/content/TreeSnapshot.h"

namespace {

using QuorTest::Md5Hex;
using QuorTest::TakeSnapshot;
using QuorTest::TreeSnapshot;

TEST(TreeSnapshot, FilesAndStoredPathsByDigestWithTheirDifference) {
    QuorTest::QuorTree tree;
    const std::string root = tree.root();
    QuorTest::WriteFile(root + "projects/alpha/releases/1.0.0.1/deploy/run.sh", "run");
    QuorTest::WriteFile(root + "temp/TMPabc", "skipped");
    QuorTest::WriteFile(root + "source.bin", "stored bytes");
    ASSERT_EQ(S_OK, Quor::User::ManagedFileHelper::AddFile("alpha", 0x01000001, "a/t1.bin", root + "source.bin"));
    ASSERT_EQ(S_OK, Quor::User::ManagedFileHelper::Flush(0));
    Quor::User::ManagedFileHelper::Release();

    const TreeSnapshot snapshot = TakeSnapshot(root, {"temp/", "system/"});
    const TreeSnapshot expected = {
        {"projects/alpha/filearchives/1.0.0.1:a/t1.bin", Md5Hex("stored bytes")},
        {"projects/alpha/releases/1.0.0.1/deploy/run.sh", Md5Hex("run")},
        {"solutions/", "<empty folder>"},
        {"source.bin", Md5Hex("stored bytes")},
    };
    EXPECT_EQ("", QuorTest::SnapshotDifference(expected, snapshot));

    QuorTest::WriteFile(root + "projects/alpha/releases/1.0.0.1/deploy/run.sh", "changed");
    QuorTest::WriteFile(root + "projects/alpha/filearchives/1.0.0.1/a/t1.bin", "a naked copy");
    QuorTest::RemoveTree(root + "solutions");
    EXPECT_EQ("+ projects/alpha/filearchives/1.0.0.1/a/t1.bin\n"
              "~ projects/alpha/releases/1.0.0.1/deploy/run.sh: " + Md5Hex("run") + " -> " + Md5Hex("changed") + "\n"
              "- solutions/\n",
              QuorTest::SnapshotDifference(expected, TakeSnapshot(root, {"temp/", "system/"})));

    // A folder whose manager is held elsewhere cannot be read a second time: said, not hidden.
    std::shared_ptr<Quor::FileSystem::IManager> held;
    ASSERT_TRUE(Quor::FileSystem::Instance().CreateManager(held, root + "projects/alpha/filearchives/1.0.0.1", ""));
    EXPECT_EQ("<archives not readable>", TakeSnapshot(root).at("projects/alpha/filearchives/1.0.0.1:"));
}

}  // namespace
