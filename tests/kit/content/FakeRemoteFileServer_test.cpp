// The fake content server: chunks and the listener's answer, the faults, the records, the
// cancellation hook and the enumerations.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/ConvertVersion.h"
#include "common/ErrorCodes.h"
#include "common/ReleaseVersion.h"
#include "remote/ReleaseInstallationServices.h"
#include "remote/testing/DownloadProgressDouble.h"
#include "tests/kit/TempDir.h"
#include "tests/kit/content/FakeRemoteFileServer.h"
#include "tools/contenttree/ContentTreeBuilder.h"

namespace {

using Quor::Common::ConvertVersion;
using QuorTest::FakeRemoteFileServer;
using namespace Quor::Tools::ContentTree;

DWORD V(const char* text) {
    DWORD version = 0;
    EXPECT_EQ(S_OK, ConvertVersion::ToNumber(text, version));
    return version;
}

class FakeRemoteFileServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ContentDescription description;
        ProductSpec& alpha = description.AddProject("alpha");
        alpha.regionListings = {"US"};
        alpha.AddRelease(V("1.0.0.1"), {"EU"}).AddFile("a.txt", 0x04, std::string(2500, 'a'));
        alpha.AddRelease(V("1.0.0.2"), {"US"}).AddFile("b.txt", 0, "b");
        alpha.AddRelease(V("1.0.0.3"), {"EU"}).AddFile("c.txt", 0, "c");
        ProductSpec& suite = description.AddSolution("suite");
        suite.AddRelease(V("2.0.0.1"), {"EU"}).projects.push_back({"alpha", V("1.0.0.1"), 1, 0});
        std::string error;
        ASSERT_TRUE(BuildContentTree(description, server.path(), error)) << error;
        QuorTest::WriteFile(server.path() + kRelease3 + "patchmanifests/1.0.0.1.patchmanifest", "alpha\n");
    }

    const std::string kRelease3 = "/quor/projects/alpha/releases/1.0.0.3/";
    const std::string kA = "/quor/projects/alpha/releases/1.0.0.1/files/a.txt";
    QuorTest::QuorTree tree;
    QuorTest::TempDir server{"quorserver"};
    FakeRemoteFileServer fake{server.path(), "/quor", "EU"};
    const std::string local = tree.temp() + "/download";
};

TEST_F(FakeRemoteFileServerTest, BodyComesInChunksAndANegativeAnswerEndsTheTransfer) {
    fake.SetChunkSize(1000);
    QuorTest::DownloadProgressDouble progress;
    ASSERT_EQ(S_OK, fake.GetFile(kA, local, &progress, false));
    EXPECT_EQ(std::string(2500, 'a'), QuorTest::ReadFile(local));
    EXPECT_EQ(3u, progress.calls.load());
    EXPECT_EQ(2500u, progress.bytes.load());

    QuorTest::DownloadProgressDouble cancelled;
    cancelled.cancelled = true;
    EXPECT_EQ(E_QUOR_HTTP_CONNECTION_LOST, fake.GetFile(kA, local, &cancelled, false));
    EXPECT_EQ(1u, cancelled.calls.load());
    EXPECT_EQ(1000u, QuorTest::ReadFile(local).size());
}

TEST_F(FakeRemoteFileServerTest, FaultsHitTheirPathsFormsAndFilesOnly) {
    const std::string compressed = kA + ".compressed";
    DWORD size = 0;
    // Before any request succeeded a failure is "connection failed", afterwards "connection lost".
    fake.FailPath(kA);
    EXPECT_EQ(E_QUOR_HTTP_CONNECTION_FAILED, fake.GetFile(kA, local, nullptr, false));
    EXPECT_EQ("", QuorTest::ReadFile(local));
    ASSERT_EQ(S_OK, fake.GetFile(compressed, local, nullptr, false));
    EXPECT_EQ(E_QUOR_HTTP_CONNECTION_LOST, fake.GetFile(kA, local, nullptr, false));
    ASSERT_EQ(S_OK, fake.GetFileSize(kA, size));
    EXPECT_EQ(0u, size);  // a missing file: success with size 0, as over HTTP

    fake.ClearFaults();
    fake.FailForm(".compressed");
    EXPECT_FALSE(SUCCEEDED(fake.GetFile(compressed, local, nullptr, false)));
    EXPECT_EQ(S_OK, fake.GetFile(kA, local, nullptr, false));

    fake.ClearFaults();
    fake.FailFile(kA);
    EXPECT_FALSE(SUCCEEDED(fake.GetFile(compressed, local, nullptr, false)));
    EXPECT_FALSE(SUCCEEDED(fake.GetFile(kA, local, nullptr, false)));

    fake.ClearFaults();
    fake.FailConnection(kA);
    EXPECT_FALSE(SUCCEEDED(fake.GetFile(kA, local, nullptr, false)));
    EXPECT_FALSE(SUCCEEDED(fake.GetFileSize(kA, size)));

    fake.ClearFaults();
    fake.CutBody(kA, 700);
    EXPECT_FALSE(SUCCEEDED(fake.GetFile(kA, local, nullptr, false)));
    EXPECT_EQ(std::string(700, 'a'), QuorTest::ReadFile(local));

    fake.ClearFaults();
    fake.CorruptBody(kA);
    ASSERT_EQ(S_OK, fake.GetFile(kA, local, nullptr, false));
    const std::string corrupt = QuorTest::ReadFile(local);
    EXPECT_EQ(2500u, corrupt.size());
    EXPECT_NE(std::string(2500, 'a'), corrupt);

    fake.ClearFaults();
    EXPECT_FALSE(SUCCEEDED(fake.GetFile("/quor/../outside", local, nullptr, false)));
}

TEST_F(FakeRemoteFileServerTest, RecordsRequestsInOrderAndRaisesTheFlagAfterNFiles) {
    signed char cancel = 0;
    fake.CancelAfterFiles(2, &cancel, "/files/");
    DWORD size = 0;
    ASSERT_EQ(S_OK, fake.GetFileSize(kA, size));
    EXPECT_EQ(2500u, size);
    ASSERT_EQ(S_OK, fake.GetFile(kA, local, nullptr, false));
    EXPECT_FALSE(SUCCEEDED(fake.GetFile(kRelease3 + "missing", local, nullptr, false)));
    EXPECT_EQ(0, cancel);
    ASSERT_EQ(S_OK, fake.GetFile(kA + ".compressed", local, nullptr, false));
    EXPECT_EQ(1, cancel);

    const std::vector<std::string> expected = {"HEAD " + kA, "GET " + kA, "GET " + kRelease3 + "missing",
                                               "GET " + kA + ".compressed"};
    EXPECT_EQ(expected, fake.RequestLog());
    EXPECT_EQ(2u, fake.RequestCount(kA));
    EXPECT_EQ(2u, fake.FilesFetched());
    EXPECT_EQ(3u, fake.CountContaining("/files/"));
    fake.ClearRecords();
    EXPECT_TRUE(fake.RequestLog().empty());
}

HRESULT TwoInstalled(const std::string&, Quor::Common::LocalFileSystem&, std::vector<DWORD>& releases, bool) {
    releases = {V("1.0.0.2"), V("1.0.0.1")};
    return S_OK;
}

TEST_F(FakeRemoteFileServerTest, EnumeratesReleasesAndPatchesAsTheHttpServerDoes) {
    std::vector<DWORD> releases{V("9.0.0.0")};
    // EU has no listing of its own: the general listing and the markers, sorted with what was there.
    ASSERT_EQ(S_OK, fake.EnumerateAvailableProjectReleases("alpha", releases, 0));
    EXPECT_EQ((std::vector<DWORD>{V("1.0.0.1"), V("1.0.0.3"), V("9.0.0.0")}), releases);
    releases.clear();
    ASSERT_EQ(S_OK, fake.EnumerateAvailableProjectReleasesForRegion("alpha", "EU", releases, 1));
    EXPECT_EQ((std::vector<DWORD>{V("1.0.0.3")}), releases);  // newest first in the listing
    releases.clear();
    ASSERT_EQ(S_OK, fake.EnumerateAvailableProjectReleasesForRegion("alpha", "US", releases, 0));
    EXPECT_EQ((std::vector<DWORD>{V("1.0.0.2")}), releases);
    EXPECT_EQ(1u, fake.RequestCount("/quor/projects/alpha/releases/releaselisting_US"));
    releases.clear();
    ASSERT_EQ(S_OK, fake.EnumerateAvailableSolutionReleases("suite", releases, 0));
    EXPECT_EQ((std::vector<DWORD>{V("2.0.0.1")}), releases);
    EXPECT_EQ(E_FAIL, fake.EnumerateAvailableProjectReleasesForRegion("alpha", "", releases, 0));
    EXPECT_FALSE(SUCCEEDED(fake.EnumerateAvailableProjectReleasesForRegion("nothing", "EU", releases, 0)));

    std::vector<DWORD> patches;
    ASSERT_EQ(S_OK, fake.EnumerateAvailablePatches("alpha", V("1.0.0.3"), patches, V("1.0.0.2")));
    EXPECT_TRUE(patches.empty());
    Quor::User::SetInstalledProjectReleasesEnumerator(&TwoInstalled);
    ASSERT_EQ(S_OK, fake.EnumerateAvailablePatches("alpha", V("1.0.0.3"), patches, Quor::INVALID_RELEASE_VERSION));
    Quor::User::SetInstalledProjectReleasesEnumerator(nullptr);
    EXPECT_EQ((std::vector<DWORD>{V("1.0.0.1")}), patches);
}

}  // namespace
