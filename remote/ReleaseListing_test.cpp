// Release listings fetched from the fault-injecting loopback server.
#include "remote/ReleaseListing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/ConvertVersion.h"
#include "common/testing/LogCapture.h"
#include "tests/kit/ScriptedHttpServer.h"
#include "tests/kit/TempDir.h"

namespace {

using namespace Quor::Common;
using QuorTest::ScriptedHttpServer;

std::vector<DWORD> Versions(std::initializer_list<const char*> texts) {
    std::vector<DWORD> versions;
    for (const char* text : texts) {
        DWORD version = 0;
        EXPECT_EQ(S_OK, ConvertVersion::ToNumber(text, version)) << text;
        versions.push_back(version);
    }
    return versions;
}

class ReleaseListingTest : public ::testing::Test {
protected:
    void SetUp() override {
        QuorTest::WriteFile(tree.system() + "/system.cfg", "DownloadPath = /p\n");
        HRESULT result = E_FAIL;
        connection = std::make_unique<HTTPConnection>(result, server.baseUrl(), 80, 60, false, nullptr);
        ASSERT_EQ(S_OK, result);
    }

    QuorTest::QuorTree tree;
    ScriptedHttpServer server;
    std::unique_ptr<HTTPConnection> connection;
    LocalFileSystem fileSystem;
};

TEST_F(ReleaseListingTest, LinesReadAlikeWithLfOrCrLfAndBlankLinesBetween) {
    struct Case {
        const char* body;
        std::vector<DWORD> expected;
    } cases[] = {
        {"0.0.0.3\n0.0.0.1\n0.0.0.2\n", Versions({"0.0.0.3", "0.0.0.1", "0.0.0.2"})},
        {"0.0.0.3\r\n0.0.0.1\r\n\r\n0.0.0.2\r\n", Versions({"0.0.0.3", "0.0.0.1", "0.0.0.2"})},
        {"\n\n1.2.3.4\n\n\n5.6.7.8", Versions({"1.2.3.4", "5.6.7.8"})},
        {"0.0.0.9 trailing text\n", Versions({"0.0.0.9"})},
    };
    for (const Case& c : cases) {
        server.SetResponse("/p/projects/game/releases/releaselisting", {.body = c.body});
        std::vector<DWORD> versions;
        EXPECT_EQ(S_OK, ReleaseListing::RetrieveProjectReleaseListing("game", "", *connection, fileSystem, versions))
            << c.body;
        EXPECT_EQ(c.expected, versions) << c.body;
    }
}

TEST_F(ReleaseListingTest, ABadLineFailsTheWholeRetrievalAndKeepsWhatCameBefore) {
    server.SetResponse("/p/solutions/sln/releases/releaselisting_EU", {.body = "0.0.0.1\nabc\n0.0.0.2\n"});
    QuorTest::LogCapture log;
    std::vector<DWORD> versions = Versions({"9.9.9.9"});
    EXPECT_EQ(E_FAIL, ReleaseListing::RetrieveSolutionReleaseListing("sln", "EU", *connection, fileSystem, versions));
    EXPECT_EQ(Versions({"9.9.9.9", "0.0.0.1"}), versions);
    EXPECT_TRUE(log.Has("Failed to create version number from release listing entry \"abc\""));
}

// A listing without a single version, or one longer than any listing can be, fails with a line
// that says why; the long one is cut at its bound after one request.
TEST_F(ReleaseListingTest, ListingWithoutAVersionOrPastItsBoundFails) {
    constexpr uint64_t kHuge = 64u << 20;
    struct Case {
        const char* name;
        QuorTest::ScriptedResponse response;
        const char* logged;
    } cases[] = {
        {"empty", {.body = ""}, "holds no release version"},
        {"blanklines", {.body = "\n\r\n\n"}, "holds no release version"},
        {"zeros", {.body = std::string(64 * 1024, '\0')}, "holds no release version"},
        {"huge", {.body = "", .padBodyTo = kHuge, .padWith = '\0'}, "bytes expected, aborted"},
        {"hugeunannounced",
         {.body = "", .contentLength = false, .padBodyTo = kHuge, .padWith = '\0'},
         "bytes expected, aborted"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = std::string("/p/projects/game/releases/releaselisting_") + c.name;
        server.SetResponse(path, c.response);
        QuorTest::LogCapture log;
        std::vector<DWORD> versions;
        EXPECT_TRUE(FAILED(ReleaseListing::RetrieveProjectReleaseListing("game", c.name, *connection, fileSystem,
                                                                         versions)));
        EXPECT_TRUE(versions.empty());
        EXPECT_TRUE(log.Contains(c.logged)) << log.All();
        EXPECT_EQ(1u, server.RequestCount(path)) << "a cut listing is not fetched again";
    }
    EXPECT_LE(server.largestBodySent(), kHuge / 2) << "the listing was read past its bound";
}

TEST_F(ReleaseListingTest, PathsForProjectsSolutionsAndRegionsWithBlanksEscaped) {
    server.SetDefaultResponse({.status = 200, .body = "0.0.0.1\n"});
    std::vector<DWORD> versions;
    ASSERT_EQ(S_OK, ReleaseListing::RetrieveProjectReleaseListing("my game", "", *connection, fileSystem, versions));
    ASSERT_EQ(S_OK, ReleaseListing::RetrieveProjectReleaseListing("game", "EU 2", *connection, fileSystem, versions));
    ASSERT_EQ(S_OK, ReleaseListing::RetrieveSolutionReleaseListing("Sln+1", "", *connection, fileSystem, versions));
    auto requests = server.requests();
    ASSERT_EQ(3u, requests.size());
    EXPECT_EQ("/p/projects/my%20game/releases/releaselisting", requests[0].target);
    EXPECT_EQ("/p/projects/game/releases/releaselisting_EU%202", requests[1].target);
    EXPECT_EQ("/p/solutions/Sln+1/releases/releaselisting", requests[2].target);
}

TEST_F(ReleaseListingTest, EmptyOrUnsafeNameRequestsNothing) {
    QuorTest::LogCapture log;
    std::vector<DWORD> versions;
    EXPECT_EQ(E_FAIL, ReleaseListing::RetrieveProjectReleaseListing("", "", *connection, fileSystem, versions));
    EXPECT_TRUE(log.Has("Empty project name, aborting."));
    for (const char* name : {"..", "a/b", "a\\b"})
        EXPECT_EQ(E_FAIL, ReleaseListing::RetrieveProjectReleaseListing(name, "", *connection, fileSystem, versions))
            << name;
    EXPECT_EQ(E_FAIL, ReleaseListing::RetrieveProjectReleaseListing("game", "../x", *connection, fileSystem, versions));
    EXPECT_TRUE(server.requests().empty());
    EXPECT_TRUE(versions.empty());
}

TEST_F(ReleaseListingTest, MissingListingFailsWithTheConnectionCodeAndLeavesNoTemporaryFile) {
    std::vector<DWORD> versions;
    EXPECT_TRUE(FAILED(ReleaseListing::RetrieveProjectReleaseListing("game", "", *connection, fileSystem, versions)));
    EXPECT_EQ(3u, server.RequestCount("/p/projects/game/releases/releaselisting"));
    std::vector<std::string> left;
    LocalFileSystem::FindFiles(left, (tree.root() + "temp/TMP*").c_str(), false, true);
    EXPECT_TRUE(left.empty());
}

TEST_F(ReleaseListingTest, UpdateWritesNewestFirstAndHandsItToTheFtpInterface) {
    QuorTest::LogCapture log;
    HRESULT result = E_FAIL;
    FTPConnection ftp(result, "127.0.0.1", "user", "secret");
    ASSERT_EQ(S_OK, ReleaseListing::UpdateProjectReleaseListing("game", "EU", Versions({"0.0.0.1", "0.0.0.3"}), ftp,
                                                                fileSystem));
    EXPECT_TRUE(log.Contains("\", \"/var/www/html/updater/quor/projects/game/releases/releaselisting_EU\", 0x00000000)"))
        << log.All();
    EXPECT_EQ(E_FAIL, ReleaseListing::UpdateSolutionReleaseListing("", "", {}, ftp, fileSystem));
}

}  // namespace
