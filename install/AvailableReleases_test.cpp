#include "install/AvailableReleases.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/testing/LogCapture.h"
#include "install/testing/MockRemoteFileServer.h"

namespace Quor::User {
namespace {

using ::testing::_;
using ::testing::DoAll;
using ::testing::Return;
using ::testing::SetArgReferee;

TEST(AvailableReleasesTest, ForwardersPassArgumentsAndAnswersThrough) {
    ::testing::StrictMock<InstallTesting::MockRemoteFileServer> server;
    const std::vector<DWORD> offered{1, 2};
    EXPECT_CALL(server, EnumerateAvailableProjectReleases("p", _, 5u))
        .WillOnce(DoAll(SetArgReferee<1>(offered), Return(S_OK)));
    EXPECT_CALL(server, EnumerateAvailableProjectReleasesForRegion("p", "xx", _, 0u)).WillOnce(Return(E_FAIL));
    EXPECT_CALL(server, EnumerateAvailableSolutionReleases("s", _, 1u)).WillOnce(Return(S_OK));
    EXPECT_CALL(server, EnumerateAvailableSolutionReleasesForRegion("s", "yy", _, 2u)).WillOnce(Return(E_ABORT));
    EXPECT_CALL(server, EnumerateAvailablePatches("p", 7u, _, 0xFFFFFFFFu)).WillOnce(Return(S_OK));

    std::vector<DWORD> releases;
    EXPECT_EQ(EnumerateAvailableProjectReleases("p", server, releases, 5), S_OK);
    EXPECT_EQ(releases, offered);
    EXPECT_EQ(EnumerateAvailableProjectReleasesForRegion("p", "xx", server, releases, 0), E_FAIL);
    EXPECT_EQ(EnumerateAvailableSolutionReleases("s", server, releases, 1), S_OK);
    EXPECT_EQ(EnumerateAvailableSolutionReleasesForRegion("s", "yy", server, releases, 2), E_ABORT);
    EXPECT_EQ(EnumerateAvailablePatches("p", 7, server, releases, 0xFFFFFFFF), S_OK);
}

TEST(AvailableReleasesTest, ListingEveryProjectOrSolutionIsNotSupported) {
    ::testing::StrictMock<InstallTesting::MockRemoteFileServer> server;
    QuorTest::LogCapture log;
    std::vector<std::string> names{"kept"};
    EXPECT_EQ(EnumerateAvailableProjects(server, names), S_OK);
    EXPECT_EQ(EnumerateAvailableSolutions(server, names), S_OK);
    EXPECT_EQ(names, std::vector<std::string>{"kept"});
    EXPECT_TRUE(log.HasError("EnumerateAvailableProjects is unsupported at this time"));
    EXPECT_TRUE(log.HasError("EnumerateAvailableSolutions is unsupported at this time"));
}

}  // namespace
}  // namespace Quor::User
