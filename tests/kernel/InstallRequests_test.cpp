// The kernel's install, uninstall and program-start requests end to end: a raw client, the request
// server and the handlers on the engine of this build, against nginx serving a content tree made
// by the content-tree builder. Installed trees are compared with what the description implies.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <future>
#include <thread>

#include "common/testing/LogCapture.h"
#include "install/InstalledState.h"
#include "kernel/Engine.h"
#include "kernel/testing/KernelClient.h"
#include "kernel/testing/TestKernel.h"
#include "protocol/PacketType.h"
#include "remote/process/Process.h"
#include "tests/kit/NginxServer.h"
#include "tests/kit/TempDir.h"
#include "tests/kit/content/ExpectedInstall.h"
#include "tests/kit/content/InstalledTree.h"
#include "tools/contenttree/ContentTreeBuilder.h"

namespace {

using namespace Quor::OrvaneProtocol;
using QuorTest::KernelClient;
using QuorTest::RecordedCall;
using Request = std::function<void(IAppToOrvane&)>;

constexpr DWORD kNone = 0xFFFFFFFF;
constexpr DWORD kV1 = 0x01000001;     // 1.0.0.1
constexpr DWORD kSuite = 0x02000001;  // 2.0.0.1
const char* const kProgram = "Game.app/Contents/MacOS/Game";

std::string Bytes(size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('a' + (i * 7 + seed * 13 + i / 97) % 26);
    return bytes;
}

// Holds a project installation at its start until the request's cancel flag is set, so that a
// Cancel sent once `running` is ready reaches a running installation; a solution installation
// waits for the flag likewise and then fails.
class CancelGate : public Quor::Orvane::Engine {
public:
    std::promise<void> running;

    HRESULT InstallProjectRelease(const std::string& project, DWORD version, FileSystem& fs, Server& server,
                                  Progress& progress) override {
        AwaitCancel(progress);
        return Engine::InstallProjectRelease(project, version, fs, server, progress);
    }
    // As the solution install's execution does when a project sees the cancellation.
    HRESULT InstallSolutionRelease(const std::string&, DWORD version, const std::string&, FileSystem&, Server&,
                                   Progress& progress, DWORD& settled) override {
        AwaitCancel(progress);
        settled = version;
        return E_FAIL;
    }

private:
    void AwaitCancel(Progress& progress) {
        running.set_value();
        const signed char* cancel = progress.GetCancelFlag();
        for (int i = 0; cancel && i < 30000 && !__atomic_load_n(cancel, __ATOMIC_ACQUIRE); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
};

class InstallRequests : public ::testing::Test {
protected:
    void SetUp() override {
        QuorTest::UseOwnInstance();
        Quor::User::RegisterInstalledStateServices();
        Quor::Tools::ContentTree::ReleaseSpec& alpha = description.AddProject("alpha").AddRelease(kV1, {"xx"});
        alpha.AddFile(kProgram, 0, "#!/bin/sh\necho \"$PWD|$1|$vorn_launched\" > '" + outside.path() + "/ran'\n");
        alpha.AddFile("data/z.txt", 0x04, Bytes(70000, 1));
        alpha.AddFile("m/shared.dat", 0x01, Bytes(9000, 2));
        alpha.AddFile("a/t1.bin", 0x06, Bytes(12000, 3));
        Quor::Tools::ContentTree::ProductSpec& suite = description.AddSolution("suite");
        Quor::Tools::ContentTree::ReleaseSpec& release = suite.AddRelease(kSuite, {"xx"});
        release.projects = {{"alpha", kV1, 5, 0}};
        release.configurations = {{"en_US", {"alpha"}}};
        suite.versionListing = {{"g1", {kSuite}}};
    }
    void Start(std::shared_ptr<Quor::Orvane::Engine> engine = nullptr) {
        std::string error;
        ASSERT_TRUE(Quor::Tools::ContentTree::BuildContentTree(description, content.path(), error)) << error;
        nginx = std::make_unique<QuorTest::NginxServer>(content.path());
        ASSERT_TRUE(nginx->started());
        tree.WriteSystemConfig(nginx->baseUrl(), "/quor", "xx");
        kernel = std::make_unique<QuorTest::TestKernel>(QuorTest::TestKernel::Handlers(engine));
        ASSERT_EQ(S_OK, kernel->hr);
        client = std::make_unique<KernelClient>(kernel->port);
    }
    // The answer, and how many progress reports of the request came before it.
    RecordedCall Ask(const Request& request, size_t* progressReports = nullptr) {
        EXPECT_TRUE(client->Request(request));
        size_t reports = 0;
        for (;;) {
            auto call = client->Next();
            EXPECT_TRUE(call.has_value()) << "no answer";
            if (!call) return RecordedCall();
            if (call->operation != "RequestProgress") {
                if (progressReports) *progressReports = reports;
                return *call;
            }
            EXPECT_EQ(call->requestId, m_LastId);
            ++reports;
        }
    }
    DWORD Id() { return ++m_LastId; }
    RecordedCall GameVersion(DWORD id, const std::string& configuration, bool preview, bool uninstall) {
        return Ask([&](IAppToOrvane& s) {
            s.InstallSolutionReleaseByProjectVersionRequest(0, id, "suite", "g1", configuration, preview, uninstall);
        });
    }

    QuorTest::TreeSnapshot Tree() const { return InstallTesting::InstalledSnapshot(tree.root()); }
    QuorTest::TreeSnapshot ExpectedAlpha() const {
        return QuorTest::ExpectedProjectInstall(description, content.path(), "alpha", kV1);
    }
    QuorTest::TreeSnapshot ExpectedSuite() const {
        return QuorTest::ExpectedSolutionInstall(description, content.path(), "suite", kSuite, "en_US");
    }
    std::string AlphaOk() const { return tree.root() + "projects/alpha/releases/1.0.0.1/S_OK"; }
    std::string SuiteOk() const { return tree.root() + "solutions/suite/releases/2.0.0.1/S_OK"; }

    QuorTest::LogCapture quiet{Quor::Log::USER};
    QuorTest::QuorTree tree;
    QuorTest::TempDir content{"quorcontent"};
    QuorTest::TempDir outside{"quorprogram"};
    Quor::Tools::ContentTree::ContentDescription description;
    std::unique_ptr<QuorTest::NginxServer> nginx;
    std::unique_ptr<QuorTest::TestKernel> kernel;
    std::unique_ptr<KernelClient> client;
    DWORD m_LastId = 0;
};

TEST_F(InstallRequests, AProjectReleaseInstallsWithProgressThenUninstalls) {
    Start();
    size_t reports = 0;
    const DWORD install = Id();
    EXPECT_EQ(RecordedCall("InstallProjectReleaseResponse", 0, install).Result(S_OK),
              Ask([&](IAppToOrvane& s) { s.InstallProjectReleaseRequest(0, install, "alpha", kV1); }, &reports));
    EXPECT_GT(reports, 0u);
    EXPECT_EQ(QuorTest::SnapshotDifference(ExpectedAlpha(), Tree()), "");

    const DWORD listed = Id();
    EXPECT_EQ(RecordedCall("EnumerateInstalledProjectReleasesResponse", 0, listed).Result(S_OK).Versions({kV1}),
              Ask([&](IAppToOrvane& s) { s.EnumerateInstalledProjectReleasesRequest(0, listed, "alpha"); }));

    const DWORD uninstall = Id();
    EXPECT_EQ(RecordedCall("UninstallProjectReleaseResponse", 0, uninstall).Result(S_OK),
              Ask([&](IAppToOrvane& s) { s.UninstallProjectReleaseRequest(0, uninstall, "alpha", kV1); },
                  &reports));
    EXPECT_EQ(reports, 0u);  // an uninstall of a project release reports nothing
    EXPECT_EQ(QuorTest::SnapshotDifference({}, Tree()), "");
    // Nothing left to remove.
    const DWORD again = Id();
    EXPECT_EQ(RecordedCall("UninstallProjectReleaseResponse", 0, again).Result(E_FAIL),
              Ask([&](IAppToOrvane& s) { s.UninstallProjectReleaseRequest(0, again, "alpha", kV1); }));
}

TEST_F(InstallRequests, ACancelledInstallAnswersAbortAndLeavesTheReleaseIncomplete) {
    auto gate = std::make_shared<CancelGate>();
    std::future<void> running = gate->running.get_future();
    Start(gate);
    const DWORD install = Id();
    ASSERT_TRUE(client->Request([&](IAppToOrvane& s) { s.InstallProjectReleaseRequest(0, install, "alpha", kV1); }));
    running.wait();
    ASSERT_TRUE(client->Send(QuorTest::RawRequest(12, install, PACKET_TYPE_CANCEL)));
    EXPECT_EQ(RecordedCall("InstallProjectReleaseResponse", 0, install).Result(static_cast<HRESULT>(0x80004004u)),
              client->Answer());
    EXPECT_FALSE(std::filesystem::exists(AlphaOk()));
}

// The solution install reports a project that saw the cancellation as a plain failure; the client
// that cancelled is still answered 0x80004004.
TEST_F(InstallRequests, ACancelledSolutionInstallAnswersAbort) {
    auto gate = std::make_shared<CancelGate>();
    std::future<void> running = gate->running.get_future();
    Start(gate);
    const DWORD install = Id();
    ASSERT_TRUE(client->Request(
        [&](IAppToOrvane& s) { s.InstallSolutionReleaseRequest(0, install, "suite", kSuite, "en_US"); }));
    running.wait();
    ASSERT_TRUE(client->Send(QuorTest::RawRequest(12, install, PACKET_TYPE_CANCEL)));
    EXPECT_EQ(RecordedCall("InstallSolutionReleaseResponse", 0, install)
                  .Result(static_cast<HRESULT>(0x80004004u))
                  .Word(kSuite),
              client->Answer());
    EXPECT_FALSE(std::filesystem::exists(SuiteOk()));
}

TEST_F(InstallRequests, ASolutionReleaseInstallsAtTheVersionTheDiscoverySettledOn) {
    Start();
    const DWORD install = Id();
    size_t reports = 0;
    EXPECT_EQ(RecordedCall("InstallSolutionReleaseResponse", 0, install).Result(S_OK).Word(kSuite),
              Ask([&](IAppToOrvane& s) { s.InstallSolutionReleaseRequest(0, install, "suite", kNone, "en_US"); },
                  &reports));
    EXPECT_GT(reports, 0u);
    EXPECT_EQ(QuorTest::SnapshotDifference(ExpectedSuite(), Tree()), "");

    // A release the server does not offer: nothing settled on, nothing written.
    const QuorTest::TreeSnapshot before = Tree();
    const DWORD missing = Id();
    const RecordedCall answer =
        Ask([&](IAppToOrvane& s) { s.InstallSolutionReleaseRequest(0, missing, "suite", 0x02000009, "en_US"); });
    EXPECT_EQ("InstallSolutionReleaseResponse", answer.operation);
    EXPECT_TRUE(FAILED(answer.hr)) << answer;
    EXPECT_EQ(QuorTest::SnapshotDifference(before, Tree()), "");

    const DWORD uninstall = Id();
    EXPECT_EQ(RecordedCall("UninstallSolutionReleaseResponse", 0, uninstall).Result(S_OK),
              Ask([&](IAppToOrvane& s) { s.UninstallSolutionReleaseRequest(0, uninstall, "suite", kSuite); }));
    EXPECT_EQ(QuorTest::SnapshotDifference({}, Tree()), "");
}

TEST_F(InstallRequests, AGameVersionIsPreviewedInstalledPreviewedAgainAndUninstalled) {
    Start();
    const RecordedCall preview = GameVersion(Id(), "en_US", true, false);
    EXPECT_EQ(S_OK, preview.hr) << preview;
    EXPECT_EQ(std::vector<DWORD>{kNone}, preview.words);
    ASSERT_EQ(1u, preview.texts.size());
    EXPECT_TRUE(preview.texts[0].starts_with("{\"result\":\"SUCCESS\",\"remainingTime\":")) << preview.texts[0];
    EXPECT_EQ(preview.texts[0].find(",\"remainingBytes\":0}"), std::string::npos) << preview.texts[0];
    EXPECT_FALSE(std::filesystem::exists(SuiteOk()));
    EXPECT_FALSE(std::filesystem::exists(AlphaOk()));

    const DWORD install = Id();
    EXPECT_EQ(RecordedCall("InstallSolutionReleaseByProjectVersionResponse", 0, install)
                  .Result(S_OK)
                  .Word(kSuite)
                  .Text(""),
              GameVersion(install, "en_US", false, false));
    EXPECT_EQ(QuorTest::SnapshotDifference(ExpectedSuite(), Tree()), "");

    const DWORD again = Id();
    EXPECT_EQ(RecordedCall("InstallSolutionReleaseByProjectVersionResponse", 0, again)
                  .Result(S_OK)
                  .Word(kSuite)
                  .Text("{\"result\":\"INSTALLED\"}"),
              GameVersion(again, "EN_us", true, false));

    const DWORD uninstall = Id();
    EXPECT_EQ(RecordedCall("InstallSolutionReleaseByProjectVersionResponse", 0, uninstall)
                  .Result(S_OK)
                  .Word(kNone)
                  .Text(""),
              GameVersion(uninstall, "en_US", false, true));
    EXPECT_EQ(QuorTest::SnapshotDifference({}, Tree()), "");
}

// A damaged release loses what does not belong and its mark; an update of the project then
// fetches only what the repair took away and completes the release again.
TEST_F(InstallRequests, ARepairMendsADamagedTreeAndAnUpdateMakesTheReleaseWhole) {
    Start();
    const DWORD install = Id();
    ASSERT_EQ(RecordedCall("InstallProjectReleaseResponse", 0, install).Result(S_OK),
              Ask([&](IAppToOrvane& s) { s.InstallProjectReleaseRequest(0, install, "alpha", kV1); }));
    const std::string deploy = tree.root() + "projects/alpha/releases/1.0.0.1/deploy/";
    QuorTest::WriteFile(deploy + kProgram, "#!/bin/sh\necho damaged\n");
    QuorTest::WriteFile(deploy + "junk.txt", "junk");
    QuorTest::WriteFile(tree.root() + "projects/alpha/junk/file", "junk");
    const size_t fetchedBefore = nginx->accessLog().size();

    size_t reports = 0;
    const DWORD repair = Id();
    EXPECT_EQ(RecordedCall("RepairResponse", 0, repair).Result(S_OK),
              Ask([&](IAppToOrvane& s) { s.RepairRequest(0, repair, 0); }, &reports));
    EXPECT_GT(reports, 0u);
    for (const std::string& gone : {deploy + kProgram, deploy + "junk.txt", tree.root() + "projects/alpha/junk", AlphaOk()})
        EXPECT_FALSE(std::filesystem::exists(gone)) << gone;
    EXPECT_TRUE(std::filesystem::exists(deploy + "data/z.txt"));
    EXPECT_EQ(nginx->accessLog().size(), fetchedBefore);  // a repair downloads nothing

    const DWORD update = Id();
    EXPECT_EQ(RecordedCall("UpdateProjectResponse", 0, update).Result(S_OK).Word(kV1),
              Ask([&](IAppToOrvane& s) { s.UpdateProjectRequest(0, update, "alpha"); }, &reports));
    EXPECT_GT(reports, 0u);
    EXPECT_EQ(QuorTest::SnapshotDifference(ExpectedAlpha(), Tree()), "");
    std::vector<std::string> files;
    const auto log = nginx->accessLog();
    for (size_t i = fetchedBefore; i < log.size(); ++i)
        if (log[i].uri.find("/files/") != std::string::npos && log[i].uri.find("/packages/") == std::string::npos)
            files.push_back(log[i].uri);
    ASSERT_EQ(files.size(), 1u) << ::testing::PrintToString(files);
    EXPECT_NE(files[0].find(std::string("/files/") + kProgram), std::string::npos) << files[0];
}

TEST_F(InstallRequests, AProgramOfAnInstalledReleaseStartsInItsDeployFolder) {
    Start();
    const DWORD install = Id();
    ASSERT_EQ(RecordedCall("InstallProjectReleaseResponse", 0, install).Result(S_OK),
              Ask([&](IAppToOrvane& s) { s.InstallProjectReleaseRequest(0, install, "alpha", kV1); }));
    const std::string deploy = tree.root() + "projects/alpha/releases/1.0.0.1/deploy";

    const DWORD start = Id();
    const RecordedCall answer = Ask(
        [&](IAppToOrvane& s) { s.CreateProcessRequest(0, start, "alpha", kV1, "Game.app", "one argument"); });
    ASSERT_EQ("CreateProcessResponse", answer.operation);
    ASSERT_EQ(S_OK, answer.hr) << answer;
    ASSERT_EQ(2u, answer.words.size());
    const DWORD pid = answer.words[0];
    ASSERT_NE(0u, pid);
    // The kernel's process helpers collect the program; wait for it through them.
    ASSERT_EQ(Vorn::ProcessWaitResult::Exited, Vorn::processWaitPid(static_cast<Vorn::ProcessId>(pid), 20000));
    EXPECT_EQ(std::filesystem::canonical(deploy).string() + "|one argument|true\n",
              QuorTest::ReadFile(outside.path() + "/ran"));

    const DWORD unknown = Id();
    EXPECT_EQ(RecordedCall("CreateProcessResponse", 0, unknown).Result(E_FAIL).Word(0).Word(0),
              Ask([&](IAppToOrvane& s) { s.CreateProcessRequest(0, unknown, "beta", kV1, "Game.app", ""); }));
}

}  // namespace
