// The remote file server end to end: nginx serves a content tree on a loopback port, the settings
// name it, and listings and files come through RemoteFileServerHTTP.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "common/ConvertVersion.h"
#include "remote/ProjectVersionListingCache.h"
#include "remote/RemoteFileServerHTTP.h"
#include "remote/ServerSettings.h"
#include "remote/testing/DownloadProgressDouble.h"
#include "tests/kit/NginxServer.h"
#include "tests/kit/TempDir.h"

namespace {

using Quor::Common::ConvertVersion;

std::string RandomBytes(size_t size) {
    std::mt19937_64 random(42);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    return bytes;
}

class ContentServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string releases = content.path() + "/quor/projects/Game_Client/releases/";
        QuorTest::WriteFile(releases + "releaselisting", "0.0.0.2\r\n0.0.0.1\r\n0.0.0.3\r\n");
        QuorTest::WriteFile(releases + "0.0.0.2/EU_OK", "");
        QuorTest::WriteFile(releases + "0.0.0.3/EU_OK", "");
        QuorTest::WriteFile(releases + "0.0.0.3/files/data/big file.bin", payload);
        QuorTest::WriteFile(releases + "projectversionlisting", "1.0.7 0.0.0.2\n1.0.8 0.0.0.3\n");
        nginx = std::make_unique<QuorTest::NginxServer>(content.path());
        ASSERT_TRUE(nginx->started());
        QuorTest::WriteFile(tree.system() + "/system.cfg",
                            "DownloadURL = " + nginx->baseUrl() + "\nDownloadPath = /quor\nRegion = EU\n");
    }

    const std::string payload = RandomBytes(3 * 1024 * 1024 + 5);
    QuorTest::QuorTree tree;
    QuorTest::TempDir content{"quorcontent"};
    std::unique_ptr<QuorTest::NginxServer> nginx;
};

TEST_F(ContentServerTest, ReleasesAndAFileThroughOneConnection) {
    HRESULT result = E_FAIL;
    Quor::User::RemoteFileServerHTTP remote(result, Quor::Common::GetDownloadURL());
    ASSERT_EQ(S_OK, result);

    std::vector<DWORD> releases;
    ASSERT_EQ(S_OK, remote.EnumerateAvailableProjectReleases("Game_Client", releases, 0));
    ASSERT_EQ(2u, releases.size());
    EXPECT_EQ("0.0.0.2", ConvertVersion::ToString(releases[0]));
    EXPECT_EQ("0.0.0.3", ConvertVersion::ToString(releases[1]));

    const std::string remotePath = remote.GetDownloadPath() + "/projects/Game_Client/releases/0.0.0.3/files/data/big file.bin";
    DWORD size = 0;
    ASSERT_EQ(S_OK, remote.GetFileSize(remotePath, size));
    EXPECT_EQ(payload.size(), size);

    QuorTest::DownloadProgressDouble progress;
    const std::string local = tree.root() + "temp/big file.bin";
    ASSERT_EQ(S_OK, remote.GetFile(remotePath, local, &progress, false));
    EXPECT_TRUE(QuorTest::ReadFile(local) == payload);
    EXPECT_EQ(payload.size(), progress.bytes.load());

    // listing_EU (404), listing, three markers, HEAD, GET - all on one connection.
    ASSERT_TRUE(nginx->WaitForAccessLog(7));
    auto log = nginx->accessLog();
    std::set<unsigned long long> connections;
    for (const auto& entry : log) connections.insert(entry.connection);
    EXPECT_EQ(1u, connections.size()) << nginx->accessLogLines()[0];
    EXPECT_EQ("/quor/projects/Game_Client/releases/releaselisting_EU", log[0].uri);
    EXPECT_EQ(404, log[0].status);
    EXPECT_EQ("/quor/projects/Game_Client/releases/0.0.0.3/files/data/big%20file.bin", log.back().uri);
    EXPECT_EQ(payload.size(), log.back().bodyBytes);
}

TEST_F(ContentServerTest, ProjectVersionListingIsFetchedUnderTheNameAsSpelled) {
    // The content server's folders are case-sensitive: only "Game_Client" exists.
    HRESULT result = E_FAIL;
    Quor::Common::HTTPConnection connection(result, Quor::Common::GetDownloadURL(), 80, 60, false, nullptr);
    ASSERT_EQ(S_OK, result);
    Quor::Common::ProjectVersionListing listing;
    ASSERT_EQ(S_OK, Quor::Common::ProjectVersionListingCache::GetProjectListing(connection, "Game_Client", listing));
    DWORD version = 0;
    ASSERT_EQ(S_OK, listing.GetQuorVersion("1.0.8", version));
    EXPECT_EQ("0.0.0.3", ConvertVersion::ToString(version));
}

}  // namespace
