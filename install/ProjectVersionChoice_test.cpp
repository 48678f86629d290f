#include "install/ProjectVersionChoice.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/ReleaseVersion.h"
#include "common/testing/LogCapture.h"
#include "tests/kit/InstallTreeTest.h"
#include "install/testing/MockRemoteFileServer.h"
#include "tests/kit/content/FakeRemoteFileServer.h"
#include "tools/contenttree/ContentTreeBuilder.h"

namespace Quor::User::UpdateAndInstallShared {
namespace {

using InstallTesting::V;
using ::testing::_;
using ::testing::DoAll;
using ::testing::Return;
using ::testing::SetArgReferee;

struct ChoiceCase {
    const char* name;
    std::vector<DWORD> offered;
    HRESULT listing;
    DWORD requested;
    unsigned int limit;  // the count limit the server is asked with
    HRESULT result;
    DWORD chosen;  // kUntouched: left as it was
    const char* error;
};

constexpr DWORD kUntouched = 0xABCDEF01;

void PrintTo(const ChoiceCase& c, std::ostream* out) { *out << c.name; }

class ChooseProjectVersionTest : public ::testing::TestWithParam<ChoiceCase> {
protected:
    signed char cancel = 0;
    AutoUpdateProgress progress{nullptr, &cancel, 0};
    ::testing::StrictMock<InstallTesting::MockRemoteFileServer> server;
};

TEST_P(ChooseProjectVersionTest, ChoosesFromTheOfferedReleases) {
    const ChoiceCase& c = GetParam();
    EXPECT_CALL(server, EnumerateAvailableProjectReleases("game", _, c.limit))
        .WillOnce(DoAll(SetArgReferee<1>(c.offered), Return(c.listing)));
    QuorTest::LogCapture log;
    DWORD chosen = kUntouched;
    EXPECT_EQ(ChooseProjectVersion("game", c.requested, server, chosen, progress), c.result);
    EXPECT_EQ(chosen, c.chosen);
    if (c.error) {
        EXPECT_TRUE(log.HasError(c.error)) << log.Errors();
    }
}

const std::vector<DWORD> kOffered{V(1, 0, 0, 1), V(1, 0, 0, 3)};

INSTANTIATE_TEST_SUITE_P(
    Cases, ChooseProjectVersionTest,
    ::testing::Values(
        ChoiceCase{"Newest", kOffered, S_OK, INVALID_RELEASE_VERSION, 1, S_OK, V(1, 0, 0, 3), nullptr},
        ChoiceCase{"Listed", kOffered, S_OK, V(1, 0, 0, 1), 0, S_OK, V(1, 0, 0, 1), nullptr},
        ChoiceCase{"NotListed", kOffered, S_OK, V(1, 0, 0, 2), 0, E_FAIL, kUntouched,
                   "Project release 16777218 is not available"},
        ChoiceCase{"NothingOffered", {}, S_OK, INVALID_RELEASE_VERSION, 1, E_FAIL, kUntouched,
                   "No releases are available."},
        ChoiceCase{"ListingFails", {}, static_cast<HRESULT>(0xC1E90001), V(1, 0, 0, 1), 0,
                   static_cast<HRESULT>(0xC1E90001), kUntouched, "Failed to enumerate available releases."}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(ChooseProjectVersionTest, ACancelledJobAsksTheServerNothing) {
    cancel = 1;
    DWORD chosen = kUntouched;
    QuorTest::LogCapture log;
    EXPECT_EQ(ChooseProjectVersion("game", INVALID_RELEASE_VERSION, server, chosen, progress), E_ABORT);
    EXPECT_EQ(chosen, kUntouched);
    EXPECT_TRUE(log.HasError("Cancellation request detected, aborting"));
}

TEST_F(ChooseProjectVersionTest, AnyReleaseCountsAsAvailableWithoutAskingTheServer) {
    bool available = false;
    EXPECT_EQ(IsProjectReleaseAvailable("game", V(9, 9, 9, 9), server, available), S_OK);
    EXPECT_TRUE(available);
}

// A content server whose region listing offers 1.0.0.1 and 1.0.0.3 (written newest first).
TEST(ChooseProjectVersionOnAServerTest, PicksTheNewestOrAListedRelease) {
    QuorTest::QuorTree tree;
    QuorTest::TempDir serverRoot{"quorserver"};
    Tools::ContentTree::ContentDescription description;
    auto& game = description.AddProject("game");
    game.regionListings = {"xx"};
    game.AddRelease(V(1, 0, 0, 1), {"xx"}).AddFile("a.txt", 0, "a");
    game.AddRelease(V(1, 0, 0, 3), {"xx"}).AddFile("a.txt", 0, "b");
    std::string error;
    ASSERT_TRUE(Tools::ContentTree::BuildContentTree(description, serverRoot.path(), error)) << error;
    QuorTest::FakeRemoteFileServer server{serverRoot.path(), "/quor", "xx"};
    AutoUpdateProgress progress{nullptr, nullptr, 0};

    DWORD chosen = 0;
    ASSERT_EQ(ChooseProjectVersion("game", INVALID_RELEASE_VERSION, server, chosen, progress), S_OK);
    EXPECT_EQ(chosen, V(1, 0, 0, 3));
    QuorTest::LogCapture log;
    EXPECT_EQ(ChooseProjectVersion("game", V(1, 0, 0, 2), server, chosen, progress), E_FAIL);
    EXPECT_EQ(chosen, V(1, 0, 0, 3));
    ASSERT_EQ(ChooseProjectVersion("game", V(1, 0, 0, 1), server, chosen, progress), S_OK);
    EXPECT_EQ(chosen, V(1, 0, 0, 1));
}

}  // namespace
}  // namespace Quor::User::UpdateAndInstallShared
