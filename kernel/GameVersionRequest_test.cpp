// The game-version request end to end: the handler against nginx serving the solution's project
// version listing, on a scripted engine. One case per row of the request's failure table, then
// the listing, uninstall, preview and install paths.
#include <gtest/gtest.h>

#include "kernel/testing/KernelClient.h"
#include "kernel/testing/ScriptedEngine.h"
#include "kernel/testing/TestKernel.h"
#include "remote/ProjectVersionListing.h"
#include "tests/kit/NginxServer.h"
#include "tests/kit/TempDir.h"

namespace {

using namespace Quor::OrvaneProtocol;
using QuorTest::KernelClient;
using QuorTest::RecordedCall;

constexpr DWORD kNone = 0xFFFFFFFF;
constexpr DWORD V0 = 0x01000000;
constexpr DWORD V1 = 0x01000001;
constexpr DWORD V2 = 0x01000002;
constexpr DWORD V3 = 0x01000003;
constexpr DWORD V9 = 0x01000009;
constexpr HRESULT kUninstallFailure = static_cast<HRESULT>(0x80070005u);
const std::string kFailure = "{\"result\":\"FAILURE\"}";

class GameVersionRequest : public ::testing::Test {
protected:
    void SetUp() override {
        QuorTest::UseOwnInstance();
        WriteListing({{V0, "v0\"q"}, {V1, "v1"}, {V2, "v1"}, {V3, "v3"}});
        engine->installedSolutionReleases = {V0, V1, V2, V3, V9};
    }
    void WriteListing(const std::vector<std::pair<DWORD, std::string>>& entries) {
        Quor::Common::ProjectVersionListing listing;
        for (const auto& [version, text] : entries) ASSERT_EQ(S_OK, listing.Add(version, text));
        QuorTest::MakeDirs(content.path() + "/quor/solutions/sol/releases");
        ASSERT_EQ(S_OK, listing.Save(content.path() + "/quor/solutions/sol/releases/projectversionlisting"));
    }
    void Start(bool withServer = true) {
        std::string settings = "DownloadPath = /quor\nRegion = us\n";
        if (withServer) settings += "DownloadURL = " + nginx.baseUrl() + "\n";
        QuorTest::WriteFile(tree.system() + "/system.cfg", settings);
        kernel = std::make_unique<QuorTest::TestKernel>(QuorTest::TestKernel::Handlers(engine));
        ASSERT_EQ(S_OK, kernel->hr);
        client = std::make_unique<KernelClient>(kernel->port);
    }
    RecordedCall Ask(const std::string& solution, const std::string& gameVersion,
                     const std::string& configuration, bool preview, bool uninstall) {
        const DWORD id = ++m_Id;
        EXPECT_TRUE(client->Request([&](IAppToOrvane& s) {
            s.InstallSolutionReleaseByProjectVersionRequest(0, id, solution, gameVersion, configuration,
                                                            preview, uninstall);
        }));
        auto answer = client->Answer();
        EXPECT_TRUE(answer.has_value()) << "no answer";
        return answer.value_or(RecordedCall());
    }
    RecordedCall Expect(HRESULT hr, DWORD version, const std::string& text) const {
        return RecordedCall("InstallSolutionReleaseByProjectVersionResponse", 0, m_Id)
            .Result(hr)
            .Word(version)
            .Text(text);
    }
    void UpdateSolution(DWORD version) {
        engine->updateSolutionVersion = version;
        const DWORD id = ++m_Id;
        ASSERT_TRUE(
            client->Request([&](IAppToOrvane& s) { s.UpdateSolutionRequest(0, id, "sol", "en_US"); }));
        ASSERT_EQ(S_OK, client->Answer().value_or(RecordedCall()).hr);
    }

    QuorTest::QuorTree tree;
    QuorTest::TempDir content;
    QuorTest::NginxServer nginx{content.path()};
    std::shared_ptr<QuorTest::ScriptedEngine> engine = std::make_shared<QuorTest::ScriptedEngine>();
    std::unique_ptr<QuorTest::TestKernel> kernel;
    std::unique_ptr<KernelClient> client;
    DWORD m_Id = 0;
};

TEST_F(GameVersionRequest, WithoutAConnectionAnswersItsFailure) {
    Start(false);
    EXPECT_EQ(Expect(E_FAIL, kNone, ""), Ask("sol", "v1", "en_US", true, false));
    EXPECT_TRUE(engine->Calls().empty());
}

TEST_F(GameVersionRequest, WithoutAListingAnswersTheCachesFailure) {
    Start();
    EXPECT_EQ(Expect(E_FAIL, kNone, ""), Ask("other", "v1", "en_US", false, false));
    EXPECT_TRUE(engine->Calls().empty());
}

TEST_F(GameVersionRequest, ListingModeNeedsAnUpdatedSolutionThenListsTheOtherGameVersionsOnceEscaped) {
    Start();
    EXPECT_EQ(Expect(E_FAIL, kNone, ""), Ask("sol", "", "", false, false));
    engine->updateSolutionResult = E_FAIL;
    engine->updateSolutionVersion = V0;
    {
        const DWORD id = ++m_Id;
        ASSERT_TRUE(
            client->Request([&](IAppToOrvane& s) { s.UpdateSolutionRequest(0, id, "sol", "en_US"); }));
        ASSERT_EQ(E_FAIL, client->Answer().value_or(RecordedCall()).hr);
    }
    EXPECT_EQ(Expect(E_FAIL, kNone, ""), Ask("sol", "", "", false, false))
        << "a failed update records nothing";
    engine->updateSolutionResult = S_OK;
    UpdateSolution(V3);
    // V3 is the latest, V1 and V2 share "v1", V9 is not in the listing; the quote is escaped.
    EXPECT_EQ(Expect(S_OK, kNone, "[\"v0\\\"q\",\"v1\"]"), Ask("sol", "", "", true, true));
}

TEST_F(GameVersionRequest, AnUnknownGameVersionIsLookedUpInAFreshListingOnce) {
    Start();
    EXPECT_EQ(Expect(E_FAIL, kNone, ""), Ask("sol", "v7", "en_US", false, false));
    EXPECT_TRUE(engine->Calls().empty());
    // The listing is cached now; the server learns of v7 meanwhile.
    EXPECT_EQ(Expect(S_OK, V3, ""), Ask("sol", "v3", "en_US", false, false));
    WriteListing({{V3, "v3"}, {V9, "v7"}});
    EXPECT_EQ(Expect(S_OK, V9, ""), Ask("sol", "v7", "en_US", false, false));
    EXPECT_EQ((std::vector<std::string>{"InstallSolutionRelease sol " + std::to_string(V3),
                                        "InstallSolutionRelease sol " + std::to_string(V9)}),
              engine->Calls());
}

TEST_F(GameVersionRequest, UninstallTakesEveryReleaseOfTheGameVersionAndGoesOnAfterAFailure) {
    Start();
    EXPECT_EQ(Expect(E_FAIL, kNone, ""), Ask("sol", "v5", "en_US", false, true));
    EXPECT_EQ(Expect(E_FAIL, kNone, kFailure), Ask("sol", "v5", "en_US", true, true));
    EXPECT_EQ(Expect(E_NOTIMPL, kNone, kFailure), Ask("sol", "v1", "en_US", true, true));
    engine->uninstallResults[V1] = kUninstallFailure;
    EXPECT_EQ(Expect(kUninstallFailure, kNone, ""), Ask("sol", "v1", "", false, true));
    const auto calls = engine->Calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ("UninstallSolutionRelease sol " + std::to_string(V1), calls[calls.size() - 2]);
    EXPECT_EQ("UninstallSolutionRelease sol " + std::to_string(V2), calls.back());
}

TEST_F(GameVersionRequest, PreviewAnswersFailureInstalledOrTheRemainingWork) {
    Start();
    engine->discoverResult = E_FAIL;
    EXPECT_EQ(Expect(E_FAIL, kNone, kFailure), Ask("sol", "v3", "en_US", true, false));

    engine->discoverResult = S_OK;
    engine->discovery.alreadyInstalled = true;
    engine->discovery.version = V3;
    EXPECT_EQ(Expect(S_OK, V3, "{\"result\":\"INSTALLED\"}"), Ask("sol", "v3", "en_US", true, false));

    engine->discovery.alreadyInstalled = false;
    engine->discoverBytes = 5000;
    const RecordedCall answer = Ask("sol", "v3", "en_US", true, false);
    EXPECT_EQ(S_OK, answer.hr);
    ASSERT_EQ(1u, answer.texts.size());
    EXPECT_EQ(0u, answer.texts[0].find("{\"result\":\"SUCCESS\",\"remainingTime\":")) << answer.texts[0];
    EXPECT_NE(std::string::npos, answer.texts[0].find(",\"remainingBytes\":5000}")) << answer.texts[0];
    EXPECT_EQ(std::string::npos, answer.texts[0].find("remainingTime\":-")) << answer.texts[0];
    for (const std::string& call : engine->Calls())
        EXPECT_EQ(0u, call.find("DiscoverSolutionRelease")) << call;
}

TEST_F(GameVersionRequest, AFailedInstallAnswersItsFailureAndTheRelease) {
    Start();
    engine->installResult = E_ABORT;
    EXPECT_EQ(Expect(E_ABORT, V3, ""), Ask("sol", "v3", "en_US", false, false));
}

}  // namespace
