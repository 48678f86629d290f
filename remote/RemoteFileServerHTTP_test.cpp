// The remote file server against the fault-injecting loopback server, with "system.cfg" written
// into a fresh install tree (each test case runs in its own process, so the settings read once
// per process are this case's).
#include "remote/RemoteFileServerHTTP.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/ConvertVersion.h"
#include "common/ErrorCodes.h"
#include "common/testing/LogCapture.h"
#include "remote/ReleaseInstallationServices.h"
#include "remote/ServerSettings.h"
#include "tests/kit/ScriptedHttpServer.h"
#include "tests/kit/TempDir.h"

namespace {

using Quor::User::RemoteFileServerHTTP;
using QuorTest::ScriptedHttpServer;
using QuorTest::ScriptedResponse;

DWORD V(const char* text) {
    DWORD version = 0;
    EXPECT_EQ(S_OK, Quor::Common::ConvertVersion::ToNumber(text, version)) << text;
    return version;
}

std::vector<DWORD> Versions(std::initializer_list<const char*> texts) {
    std::vector<DWORD> versions;
    for (const char* text : texts) versions.push_back(V(text));
    return versions;
}

const std::string kReleases = "/quor/projects/game/releases/";

class RemoteFileServerTest : public ::testing::Test {
protected:
    void WriteSettings(const std::string& region, bool withRegion = true) {
        std::string text = "DownloadURL = " + server.baseUrl() + "\nDownloadPath = /quor\n";
        if (withRegion) text += "Region = " + region + "\n";
        QuorTest::WriteFile(tree.system() + "/system.cfg", text);
    }
    // A server on its own connection with the given low-speed time.
    RemoteFileServerHTTP Server(int lowSpeedSeconds = 60) {
        HRESULT result = E_FAIL;
        connection = std::make_shared<Quor::Common::HTTPConnection>(result, server.baseUrl(), 80, lowSpeedSeconds,
                                                                     false, nullptr);
        EXPECT_EQ(S_OK, result);
        return RemoteFileServerHTTP(connection);
    }
    size_t MarkerRequests() const {
        size_t count = 0;
        for (const auto& request : server.requests())
            if (request.path.find("_OK") != std::string::npos) ++count;
        return count;
    }

    QuorTest::QuorTree tree;
    ScriptedHttpServer server;
    std::shared_ptr<Quor::Common::HTTPConnection> connection;
};

TEST_F(RemoteFileServerTest, SettingsComeFromSystemCfg) {
    WriteSettings("EU");
    EXPECT_EQ(server.baseUrl(), Quor::Common::GetDownloadURL());
    EXPECT_EQ("/quor", Quor::Common::GetDownloadPath());
    EXPECT_EQ("EU", Quor::Common::GetSystemSettings().Get("Region"));
    RemoteFileServerHTTP remote = Server();
    EXPECT_EQ("/quor", remote.GetDownloadPath());
}

TEST_F(RemoteFileServerTest, RegionListingIsUsedSortedWithoutMarkers) {
    WriteSettings("EU");
    server.SetResponse(kReleases + "releaselisting_EU", {.body = "0.0.0.9\n0.0.0.7\n"});
    RemoteFileServerHTTP remote = Server();
    for (unsigned maxCount : {0u, 1u}) {
        std::vector<DWORD> releases;
        ASSERT_EQ(S_OK, remote.EnumerateAvailableProjectReleases("game", releases, maxCount));
        EXPECT_EQ(Versions({"0.0.0.7", "0.0.0.9"}), releases) << maxCount;
    }
    EXPECT_EQ(0u, MarkerRequests());
    EXPECT_EQ(0u, server.RequestCount(kReleases + "releaselisting"));
}

TEST_F(RemoteFileServerTest, GeneralListingWithMarkersAndMaxCount) {
    WriteSettings("EU");
    server.SetResponse(kReleases + "releaselisting", {.body = "0.0.0.3\n0.0.0.1\n0.0.0.2\n"});
    server.SetResponse(kReleases + "0.0.0.1/EU_OK", {.body = ""});
    server.SetResponse(kReleases + "0.0.0.3/EU_OK", {.body = ""});
    struct Case {
        unsigned maxCount;
        std::vector<DWORD> before;
        std::vector<DWORD> expected;
        size_t markersAsked;
    } cases[] = {
        {0, {}, Versions({"0.0.0.1", "0.0.0.3"}), 3},
        {1, {}, Versions({"0.0.0.3"}), 1},
        {2, {}, Versions({"0.0.0.1", "0.0.0.3"}), 2},
        {0, Versions({"0.0.0.5"}), Versions({"0.0.0.1", "0.0.0.3", "0.0.0.5"}), 3},
    };
    RemoteFileServerHTTP remote = Server();
    size_t markersBefore = 0;
    for (const Case& c : cases) {
        QuorTest::LogCapture log;
        std::vector<DWORD> releases = c.before;
        ASSERT_EQ(S_OK, remote.EnumerateAvailableProjectReleases("game", releases, c.maxCount));
        EXPECT_EQ(c.expected, releases) << "maxCount " << c.maxCount;
        EXPECT_EQ(c.markersAsked, MarkerRequests() - markersBefore) << "maxCount " << c.maxCount;
        markersBefore = MarkerRequests();
        if (c.maxCount == 0) {
            EXPECT_TRUE(log.Has("Found pending project release \"0.0.0.2\"."));
        }
    }
}

TEST_F(RemoteFileServerTest, SolutionsUseTheirOwnFolder) {
    WriteSettings("EU");
    server.SetResponse("/quor/solutions/sln/releases/releaselisting", {.body = "0.0.0.4\n"});
    server.SetResponse("/quor/solutions/sln/releases/0.0.0.4/EU_OK", {.body = ""});
    RemoteFileServerHTTP remote = Server();
    std::vector<DWORD> releases;
    ASSERT_EQ(S_OK, remote.EnumerateAvailableSolutionReleases("sln", releases, 0));
    EXPECT_EQ(Versions({"0.0.0.4"}), releases);
    EXPECT_EQ(3u, server.RequestCount("/quor/solutions/sln/releases/releaselisting_EU"));
}

TEST_F(RemoteFileServerTest, RegionThatIsMissingEmptyOrNotAPlainNameRequestsNothing) {
    RemoteFileServerHTTP remote = Server();
    WriteSettings("", false);
    std::vector<DWORD> releases = Versions({"0.0.0.5"});
    EXPECT_EQ(E_FAIL, remote.EnumerateAvailableProjectReleases("game", releases, 0));
    EXPECT_EQ(E_FAIL, remote.EnumerateAvailableSolutionReleases("game", releases, 0));
    for (const char* region : {"", "..", "a/b", "x\\y"}) {
        EXPECT_EQ(E_FAIL, remote.EnumerateAvailableProjectReleasesForRegion("game", region, releases, 0)) << region;
        EXPECT_EQ(E_FAIL, remote.EnumerateAvailableSolutionReleasesForRegion("game", region, releases, 0)) << region;
    }
    EXPECT_EQ(Versions({"0.0.0.5"}), releases);
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(RemoteFileServerTest, NoListingAtAllFailsWithTheListingsCode) {
    WriteSettings("EU");
    RemoteFileServerHTTP remote = Server();
    QuorTest::LogCapture log;
    std::vector<DWORD> releases;
    EXPECT_EQ(E_QUOR_HTTP_CONNECTION_LOST, remote.EnumerateAvailableProjectReleases("game", releases, 0));
    EXPECT_TRUE(log.Has("Error retrieving project release listing"));
}

TEST_F(RemoteFileServerTest, MarkerCheckFailingThreeTimesEndsTheWalk) {
    WriteSettings("EU");
    server.SetResponse(kReleases + "releaselisting", {.body = "0.0.0.1\n0.0.0.2\n0.0.0.3\n"});
    server.SetResponse(kReleases + "0.0.0.1/EU_OK", {.body = ""});
    // A stall longer than the low-speed time makes each check a transport failure.
    server.SetResponse(kReleases + "0.0.0.2/EU_OK", {.status = 200, .stallBeforeHeaders = QuorTest::kStallUntilStop});
    server.SetResponse(kReleases + "0.0.0.3/EU_OK", {.body = ""});
    RemoteFileServerHTTP remote = Server(1);
    QuorTest::LogCapture log;
    std::vector<DWORD> releases;
    EXPECT_EQ(E_QUOR_HTTP_CONNECTION_LOST, remote.EnumerateAvailableProjectReleases("game", releases, 0));
    EXPECT_EQ(Versions({"0.0.0.1"}), releases);
    EXPECT_EQ(3u, server.RequestCount(kReleases + "0.0.0.2/EU_OK"));
    EXPECT_EQ(0u, server.RequestCount(kReleases + "0.0.0.3/EU_OK"));
    EXPECT_TRUE(log.Has("Error checking for S_OK file, retrying"));
    EXPECT_TRUE(log.Has("Error checking for S_OK file, retrying a second time"));
    EXPECT_TRUE(log.Has("Checking for S_OK file failed after three attempts, giving up."));
}

// The release installation's enumerator, registered for a test.
std::vector<DWORD> g_installed;
HRESULT g_installedResult = S_OK;
HRESULT InstalledDouble(const std::string& project, Quor::Common::LocalFileSystem&, std::vector<DWORD>& releases,
                        bool flag) {
    EXPECT_EQ("game", project);
    EXPECT_FALSE(flag);
    releases.insert(releases.end(), g_installed.begin(), g_installed.end());
    return g_installedResult;
}

TEST_F(RemoteFileServerTest, PatchesFromTheFirstInstalledSourceWithAManifest) {
    WriteSettings("EU");
    const std::string manifests = kReleases + "0.0.0.9/patchmanifests/";
    server.SetResponse(manifests + "0.0.0.2.patchmanifest", {.body = "game"});
    server.SetResponse(manifests + "0.0.0.3.patchmanifest", {.body = "game"});
    RemoteFileServerHTTP remote = Server();

    // A given source without a manifest: success, nothing found.
    std::vector<DWORD> patches;
    EXPECT_EQ(S_OK, remote.EnumerateAvailablePatches("game", V("0.0.0.9"), patches, V("0.0.0.1")));
    EXPECT_TRUE(patches.empty());

    // Installed sources come from the release installation: only the first with a manifest.
    Quor::User::SetInstalledProjectReleasesEnumerator(&InstalledDouble);
    g_installed = Versions({"0.0.0.1", "0.0.0.2", "0.0.0.3"});
    EXPECT_EQ(S_OK, remote.EnumerateAvailablePatches("game", V("0.0.0.9"), patches, 0xFFFFFFFF));
    EXPECT_EQ(Versions({"0.0.0.2"}), patches);
    EXPECT_EQ(0u, server.RequestCount(manifests + "0.0.0.3.patchmanifest"));

    // Its failure comes back unchanged.
    g_installedResult = static_cast<HRESULT>(0x80070005u);
    patches.clear();
    EXPECT_EQ(static_cast<HRESULT>(0x80070005u),
              remote.EnumerateAvailablePatches("game", V("0.0.0.9"), patches, 0xFFFFFFFF));
    Quor::User::SetInstalledProjectReleasesEnumerator(nullptr);
    EXPECT_EQ(E_NOTIMPL, remote.EnumerateAvailablePatches("game", V("0.0.0.9"), patches, 0xFFFFFFFF));
}

TEST_F(RemoteFileServerTest, FileSizeOfAMissingFileIsZeroAfterOneRequest) {
    WriteSettings("EU");
    server.SetResponse("/quor/present", {.body = std::string(4321, 'x')});
    RemoteFileServerHTTP remote = Server();
    DWORD size = 7;
    EXPECT_EQ(S_OK, remote.GetFileSize("/quor/missing", size));
    EXPECT_EQ(0u, size);
    EXPECT_EQ(S_OK, remote.GetFileSize("/quor/present", size));
    EXPECT_EQ(4321u, size);
    EXPECT_EQ(1u, server.RequestCount("/quor/missing"));
    EXPECT_EQ(1u, server.connectionCount());
}

TEST_F(RemoteFileServerTest, FileSizeRetriesThreeTimesReconnectingEachTime) {
    WriteSettings("EU");
    server.SetResponse("/quor/stalled", {.status = 200, .stallBeforeHeaders = QuorTest::kStallUntilStop});
    RemoteFileServerHTTP remote = Server(1);
    QuorTest::LogCapture log;
    DWORD size = 7;
    EXPECT_EQ(E_QUOR_HTTP_CONNECTION_LOST, remote.GetFileSize("/quor/stalled", size));
    EXPECT_EQ(0u, size);
    EXPECT_EQ(3u, server.RequestCount("/quor/stalled"));
    EXPECT_EQ(3u, log.Count("It looks like the connection was dropped -- attempting a reconnect."));
    EXPECT_EQ(3u, log.Count("Successfully reconnected."));
}

// A size the 32-bit answer cannot hold is the server's answer, not a dropped connection: one
// request, no reconnect, and the message names the size. The largest size that fits still passes.
TEST_F(RemoteFileServerTest, FileSizePastThe32BitRangeFailsOnce) {
    WriteSettings("EU");
    const struct {
        const char* length;
        HRESULT result;
        DWORD size;
    } cases[] = {
        {"4294967296", E_FAIL, 0},
        {"6442450944", E_FAIL, 0},
        {"4294967295", S_OK, 0xFFFFFFFFu},
    };
    for (const auto& c : cases) {
        const std::string path = std::string("/quor/big") + c.length;
        server.SetResponse(path, {.headers = {{"Content-Length", c.length}}});
        RemoteFileServerHTTP remote = Server();
        QuorTest::LogCapture log;
        DWORD size = 7;
        EXPECT_EQ(c.result, remote.GetFileSize(path, size)) << c.length << "\n" << log.All();
        EXPECT_EQ(c.size, size) << c.length;
        EXPECT_EQ(1u, server.RequestCount(path)) << c.length;
        EXPECT_EQ(0u, log.Count("It looks like the connection was dropped -- attempting a reconnect.")) << c.length;
        if (FAILED(c.result)) {
            EXPECT_TRUE(log.Contains(c.length)) << log.All();
        }
    }
}

TEST_F(RemoteFileServerTest, GetFileMakesThreeAttemptsOnItsOwnConnection) {
    WriteSettings("EU");
    server.SetResponses("/quor/f", {{.status = 503}, {.status = 503}, {.status = 200, .body = "third time"}});
    HRESULT result = E_FAIL;
    RemoteFileServerHTTP remote(result, Quor::Common::GetDownloadURL());
    ASSERT_EQ(S_OK, result);
    const std::string local = tree.root() + "temp/f";
    ASSERT_EQ(S_OK, remote.GetFile("/quor/f", local, nullptr, false));
    EXPECT_EQ("third time", QuorTest::ReadFile(local));
    EXPECT_EQ(3u, server.RequestCount("/quor/f"));
}

}  // namespace
