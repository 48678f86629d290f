// The 60-second cache of project version listings, on an injected clock.
#include "remote/ProjectVersionListingCache.h"

#include <gtest/gtest.h>

#include <string>

#include "common/ConvertVersion.h"
#include "tests/kit/ScriptedHttpServer.h"
#include "tests/kit/TempDir.h"

namespace {

using namespace Quor::Common;

uint64_t g_now = 1700000000;
uint64_t TestClock() { return g_now; }

class ProjectVersionListingCacheTest : public ::testing::Test {
protected:
    void SetUp() override {
        QuorTest::WriteFile(tree.system() + "/system.cfg", "DownloadPath = /quor\n");
        ProjectVersionListingCache::SetClock(&TestClock);
        server.SetResponse(kProjectPath, {.body = "1.0 0.0.0.1\n"});
        server.SetResponse(kSolutionPath, {.body = "2.0 0.0.0.2\n"});
        HRESULT result = E_FAIL;
        connection = std::make_unique<HTTPConnection>(result, server.baseUrl(), 80, 60, false, nullptr);
        ASSERT_EQ(S_OK, result);
    }
    void TearDown() override { ProjectVersionListingCache::SetClock(nullptr); }

    std::string ProjectOf(const ProjectVersionListing& listing, DWORD version) {
        std::string project;
        listing.GetProjectVersion(version, project);
        return project;
    }

    const std::string kProjectPath = "/quor/projects/Game_Client/releases/projectversionlisting";
    const std::string kSolutionPath = "/quor/solutions/Game_Client/releases/projectversionlisting";
    QuorTest::QuorTree tree;
    QuorTest::ScriptedHttpServer server;
    std::unique_ptr<HTTPConnection> connection;
};

TEST_F(ProjectVersionListingCacheTest, OneDownloadPerMinuteWhateverTheCaseOfTheName) {
    ProjectVersionListing first;
    ASSERT_EQ(S_OK, ProjectVersionListingCache::GetProjectListing(*connection, "Game_Client", first));
    EXPECT_EQ("1.0", ProjectOf(first, 1));

    g_now += 59;
    ProjectVersionListing second;
    ASSERT_EQ(S_OK, ProjectVersionListingCache::GetProjectListing(*connection, "game_client", second));
    EXPECT_EQ("1.0", ProjectOf(second, 1));
    // The server was asked once, with the name as the first caller spelled it.
    EXPECT_EQ(1u, server.RequestCount(kProjectPath));
    EXPECT_EQ(1u, server.requests().size());

    g_now += 1;  // 60 s after the download
    server.SetResponse(kProjectPath, {.body = "1.1 0.0.0.1\n"});
    ProjectVersionListing third;
    ASSERT_EQ(S_OK, ProjectVersionListingCache::GetProjectListing(*connection, "Game_Client", third));
    EXPECT_EQ("1.1", ProjectOf(third, 1));
    EXPECT_EQ(2u, server.RequestCount(kProjectPath));
}

TEST_F(ProjectVersionListingCacheTest, ClockGoingBackwardsMakesTheEntryStale) {
    ProjectVersionListing listing;
    ASSERT_EQ(S_OK, ProjectVersionListingCache::GetProjectListing(*connection, "Game_Client", listing));
    g_now -= 1;
    ASSERT_EQ(S_OK, ProjectVersionListingCache::GetProjectListing(*connection, "Game_Client", listing));
    EXPECT_EQ(2u, server.RequestCount(kProjectPath));
}

TEST_F(ProjectVersionListingCacheTest, ProjectsAndSolutionsAreCachedApartAndRemovable) {
    ProjectVersionListing project, solution;
    ASSERT_EQ(S_OK, ProjectVersionListingCache::GetProjectListing(*connection, "Game_Client", project));
    ASSERT_EQ(S_OK, ProjectVersionListingCache::GetSolutionListing(*connection, "Game_Client", solution));
    EXPECT_EQ("2.0", ProjectOf(solution, 2));
    EXPECT_EQ(1u, server.RequestCount(kSolutionPath));

    EXPECT_EQ(S_OK, ProjectVersionListingCache::RemoveSolutionListing("GAME_CLIENT"));
    EXPECT_EQ(S_OK, ProjectVersionListingCache::RemoveSolutionListing("never-cached"));
    ASSERT_EQ(S_OK, ProjectVersionListingCache::GetSolutionListing(*connection, "Game_Client", solution));
    ASSERT_EQ(S_OK, ProjectVersionListingCache::GetProjectListing(*connection, "Game_Client", project));
    EXPECT_EQ(2u, server.RequestCount(kSolutionPath));
    EXPECT_EQ(1u, server.RequestCount(kProjectPath));
}

TEST_F(ProjectVersionListingCacheTest, FailedDownloadKeepsTheStaleEntry) {
    ProjectVersionListing listing;
    ASSERT_EQ(S_OK, ProjectVersionListingCache::GetProjectListing(*connection, "Game_Client", listing));
    g_now += 120;
    server.SetResponse(kProjectPath, {.status = 404});
    ProjectVersionListing failed;
    EXPECT_EQ(E_FAIL, ProjectVersionListingCache::GetProjectListing(*connection, "Game_Client", failed));
    EXPECT_EQ(4u, server.RequestCount(kProjectPath));  // one, then three attempts
    // Still stale: the next lookup downloads again.
    server.SetResponse(kProjectPath, {.body = "1.2 0.0.0.1\n"});
    ASSERT_EQ(S_OK, ProjectVersionListingCache::GetProjectListing(*connection, "Game_Client", failed));
    EXPECT_EQ("1.2", ProjectOf(failed, 1));
}

// A listing that maps nothing, or is longer than any listing can be, fails and is not cached.
TEST_F(ProjectVersionListingCacheTest, ListingWithoutAValidLineOrPastItsBoundFails) {
    struct Case {
        const char* name;
        QuorTest::ScriptedResponse response;
    } cases[] = {
        {"zeros", {.body = std::string(100000, '\0')}},
        {"bad lines", {.body = "1.0\n2.0 x.y\n\n"}},
        {"past the bound", {.body = "1.0 0.0.0.1\n", .contentLength = false, .padBodyTo = 64u << 20, .padWith = '\n'}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.SetResponse(kProjectPath, c.response);
        ProjectVersionListing listing;
        EXPECT_EQ(E_FAIL, ProjectVersionListingCache::GetProjectListing(*connection, "Game_Client", listing));
        EXPECT_EQ(0u, listing.ReleaseCount());
    }
    EXPECT_LT(server.largestBodySent(), 32u << 20);
}

TEST_F(ProjectVersionListingCacheTest, UnsafeNameRequestsNothing) {
    ProjectVersionListing listing;
    for (const char* name : {"", "..", "a/b"})
        EXPECT_EQ(E_FAIL, ProjectVersionListingCache::GetProjectListing(*connection, name, listing)) << name;
    EXPECT_TRUE(server.requests().empty());
}

}  // namespace
