// The in-place update's state object as its construction leaves it: every member set, nothing
// done, and a destruction that frees only what it owns.
#include "update/UpdateInPlace.h"

#include <gtest/gtest.h>

#include "common/testing/LogCapture.h"
#include "tests/kit/InstallTreeTest.h"
#include "tests/kit/content/FakeRemoteFileServer.h"
#include "tests/kit/content/TreeSnapshot.h"

namespace Quor::User::UpdateProject {
namespace {

class UpdateInPlaceTest : public InstallTesting::InstallTreeTest {
protected:
    QuorTest::TempDir content{"quorserver"};
    QuorTest::FakeRemoteFileServer server{content.path(), "/quor", "xx"};
};

TEST_F(UpdateInPlaceTest, ConstructionStoresTheArgumentsLogsThemAndDoesNothingElse) {
    QuorTest::LogCapture log(Log::VERBOSE);
    const QuorTest::TreeSnapshot before = QuorTest::TakeSnapshot(root);
    {
        const std::string project = "game";
        UpdateInPlace update(project, 0x01000001, 0x01000002, fileSystem, server, progress);
        EXPECT_TRUE(log.Has(Log::VERBOSE, "(game, 16777217, 16777218)"));
        EXPECT_EQ("game", update.m_ProjectName);
        EXPECT_EQ(0x01000001u, update.m_SourceVersion);
        EXPECT_EQ(0x01000002u, update.m_TargetVersion);
        EXPECT_EQ(&fileSystem, &update.m_LocalFileSystem);
        EXPECT_EQ(&server, &update.m_RemoteFileServer);
        EXPECT_EQ(&progress, &update.m_AutoUpdateProgress);
        EXPECT_EQ(S_OK, update.m_hr);
        EXPECT_FALSE(update.m_Discovered);
        EXPECT_TRUE(update.m_FilesToDownload.empty());
        EXPECT_TRUE(update.m_FilesToPatch.empty());
        EXPECT_TRUE(update.m_FilesToCopy.empty());
        EXPECT_TRUE(update.m_FilesToArchive.empty());
        EXPECT_TRUE(update.m_FilesToDeleteFromArchive.empty());
        EXPECT_TRUE(update.m_DestinationManifest.m_Entries.empty());
        EXPECT_TRUE(update.m_InstalledManifests.empty());
        EXPECT_EQ(nullptr, update.m_PatchManifest);
        EXPECT_EQ(nullptr, update.m_PatchSourceManifest);
    }  // dropped without discovery: nothing to free but its own members
    EXPECT_EQ(std::vector<std::string>{}, server.RequestLog());
    EXPECT_EQ("", QuorTest::SnapshotDifference(before, QuorTest::TakeSnapshot(root)));
}

}  // namespace
}  // namespace Quor::User::UpdateProject
