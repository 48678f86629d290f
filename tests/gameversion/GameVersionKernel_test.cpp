// The game-version C interface of libMondrel.so driving the kernel program itself: Orvane
// "-noupdate -tsr noop" in a temporary root (system/ holding the kernel bundle and the library),
// a content server offering two releases of the game solution, and the C client program run step
// by step in the root's system folder. These tests start and end processes named "Orvane".
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "foundation/Semaphore.h"
#include "foundation/WaitResult.h"
#include "kernel/KernelThread.h"
#include "kernel/UserCommandThread.h"
#include "kernel/testing/KernelClient.h"
#include "kernel/testing/TestKernel.h"
#include "tests/gameversion/ClientProgram.h"
#include "tests/kit/NginxServer.h"
#include "tests/kit/ScriptedHttpServer.h"
#include "tests/kit/TempDir.h"
#include "tests/kit/orvane/OrvaneRoot.h"
#include "tests/kit/orvane/OrvaneRun.h"
#include "tools/contenttree/ContentTreeBuilder.h"

namespace {

namespace fs = std::filesystem;
using Quor::OrvaneProtocol::IAppToOrvane;

constexpr DWORD kFirst = 0x01000001;   // 1.0.0.1, game version "1.0"
constexpr DWORD kSecond = 0x01000002;  // 1.0.0.2, game version "2.0"
const std::string kFailure = "{\"result\":\"FAILURE\"}";
const std::string kInstalled = "{\"result\":\"INSTALLED\"}";
const std::string kSuccess = "{\"result\":\"SUCCESS\"}";
const std::string kPatching = "{\"result\":\"PATCHING\"";
const std::string kPreviewed = "{\"result\":\"SUCCESS\",\"remainingTime\":";
constexpr size_t kGameBytes = 1 << 20;

// Bytes that do not compress, different for each seed.
std::string Bytes(size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    unsigned state = seed * 2654435761u + 1;
    for (char& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 16);
    }
    return bytes;
}

// The lines of a run that belong to `step` (its own output lines start with the step's text).
std::vector<std::string> LinesOf(const std::vector<std::string>& lines, const std::string& step) {
    std::vector<std::string> found;
    for (const std::string& line : lines)
        if (line.rfind(step + " ", 0) == 0) found.push_back(line.substr(step.size() + 1));
    return found;
}

// "percentDone" of a PATCHING text, -1 when it has none.
int PercentDone(const std::string& text) {
    const std::string key = "\"percentDone\":";
    const size_t at = text.find(key);
    return at == std::string::npos ? -1 : std::atoi(text.c_str() + at + key.size());
}

class GameVersionKernel : public ::testing::Test {
protected:
    void SetUp() override {
        QuorTest::UseOwnInstance();
        ::setenv("ORVANE_PORT", std::to_string(QuorTest::PickLoopbackPort()).c_str(), 1);
        auto& game = description.AddProject("kiv_game");
        auto& solution = description.AddSolution("kiv_game_client_sln");
        for (const DWORD version : {kFirst, kSecond}) {
            game.AddRelease(version, {"xx"}).AddFile("Kindrel.exe", 0, Bytes(kGameBytes, version));
            auto& release = solution.AddRelease(version, {"xx"});
            release.projects = {{"kiv_game", version, 5, 0}};
            release.configurations = {{"en_US", {"kiv_game"}}};
        }
        solution.versionListing = {{"1.0", {kFirst}}, {"2.0", {kSecond}}};
        std::string error;
        ASSERT_TRUE(Quor::Tools::ContentTree::BuildContentTree(description, content.path(), error)) << error;
    }
    void TearDown() override {
        if (kernel && kernel->Running()) {
            // The kernel's own way to stop a running kernel: a Terminate request from a second one.
            EXPECT_EQ(0, QuorTest::RunOrvane(*root, {"-noupdate", "stopkernel"}));
            EXPECT_EQ(0, kernel->Wait(60)) << kernel->Stderr();
        }
        kernel.reset();
        root.reset();
        Vorn::Semaphore::Cleanup(Quor::Orvane::KernelThread::kInstanceMutexName);
    }

    // Lays out the root for the server at downloadUrl, with locale "en_US", and starts the kernel;
    // returns once it answers requests.
    void StartKernel(const std::string& downloadUrl) {
        root = std::make_unique<QuorTest::OrvaneRoot>(downloadUrl);
        QuorTest::WriteFile(root->system() + "/locale.cfg", "locale = en_US\n");
        kernel = std::make_unique<QuorTest::OrvaneRun>(*root, std::vector<std::string>{"-noupdate", "-tsr", "noop"});
        ASSERT_TRUE(kernel->started());
        const uint16_t port = static_cast<uint16_t>(std::atoi(std::getenv("ORVANE_PORT")));
        for (int attempt = 0; attempt < 600 && kernel->Running(); ++attempt) {
            QuorTest::KernelClient client(port);
            if (client.Connected() && client.Request([](IAppToOrvane& s) { s.GetVersionRequest(0, 1); }) &&
                client.Answer())
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        FAIL() << "the kernel does not answer\n" << kernel->Stderr() << Log();
    }
    QuorTest::ClientRun Client(const std::vector<std::string>& steps) {
        return QuorTest::RunGameVersionClient(root->system(), scratch.path(), steps);
    }
    std::string Release(DWORD version) const {
        return root->root() + "/solutions/kiv_game_client_sln/releases/1.0.0." + std::to_string(version & 0xFF);
    }
    std::string Log() const { return QuorTest::ReadFile(root->root() + "/quor_orvane.log"); }
    size_t LogCount(const std::string& part) const {
        const std::string log = Log();
        size_t count = 0;
        for (size_t at = log.find(part); at != std::string::npos; at = log.find(part, at + 1)) ++count;
        return count;
    }
    // Waits (up to a minute) until the kernel's log holds `part` at least `count` times.
    bool WaitForLog(const std::string& part, size_t count = 1) const {
        for (int i = 0; i < 600; ++i) {
            if (LogCount(part) >= count) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }

    Quor::Tools::ContentTree::ContentDescription description;
    QuorTest::TempDir content{"gvcontent"};
    QuorTest::TempDir scratch{"gvclient"};
    std::unique_ptr<QuorTest::OrvaneRoot> root;
    std::unique_ptr<QuorTest::OrvaneRun> kernel;
};

TEST_F(GameVersionKernel, PreviewInstallPathListAndUninstallThroughTheKernel) {
    // A slow link, so that an install is seen running.
    QuorTest::NginxServer nginx(content.path(), {}, 512 * 1024);
    ASSERT_TRUE(nginx.started());
    ASSERT_NO_FATAL_FAILURE(StartKernel(nginx.baseUrl()));

    // The client library lies where the kernel tells its clients to find it.
    {
        QuorTest::KernelClient client(static_cast<uint16_t>(std::atoi(std::getenv("ORVANE_PORT"))));
        ASSERT_TRUE(client.Request([](IAppToOrvane& s) { s.GetQuorLibraryRequest(0, 2); }));
        EXPECT_EQ(QuorTest::RecordedCall("GetQuorLibraryResponse", 0, 2)
                      .Result(S_OK)
                      .Text(fs::canonical(root->system()).string() + "/libMondrel.so"),
                  client.Answer());
    }

    QuorTest::ClientRun run = Client({"preview:1.0", "pollpreview", "install:1.0", "pollinstall", "path:1.0:1024",
                                      "preview:1.0", "waitpreview", "install:2.0",
                                      "waitinstall:" + kSuccess, "enum:1024"});
    ASSERT_EQ(run.status, 0) << run.errors;
    // The preview is worked out, then the kernel's estimate shows.
    const auto preview = LinesOf(run.lines, "pollpreview");
    ASSERT_EQ(preview.size(), 2u) << ::testing::PrintToString(run.lines);
    EXPECT_EQ(preview[0], "1 {\"result\":\"CALCULATING\"}");
    EXPECT_TRUE(preview[1].starts_with("1 " + kPreviewed)) << preview[1];
    EXPECT_EQ(preview[1].find(",\"remainingBytes\":0}"), std::string::npos) << preview[1];
    // The install runs with a progress that never goes back, then succeeds.
    const auto install = LinesOf(run.lines, "pollinstall");
    ASSERT_GE(install.size(), 2u) << ::testing::PrintToString(run.lines);
    EXPECT_EQ(install.back(), "1 " + kSuccess);
    int percent = 0;
    for (size_t i = 0; i + 1 < install.size(); ++i) {
        EXPECT_TRUE(install[i].starts_with("1 " + kPatching)) << install[i];
        EXPECT_GE(PercentDone(install[i]), percent) << install[i];
        percent = PercentDone(install[i]);
    }
    EXPECT_EQ(LinesOf(run.lines, "path:1.0:1024"),
              std::vector<std::string>{"1 " + Release(kFirst) + "/deploy/Kindrel.exe"});
    EXPECT_EQ(LinesOf(run.lines, "waitpreview"), std::vector<std::string>{"1 " + kInstalled});
    EXPECT_EQ(LinesOf(run.lines, "waitinstall:" + kSuccess), std::vector<std::string>{"1 " + kSuccess});
    // No solution update has told the kernel which release is the latest.
    EXPECT_EQ(LinesOf(run.lines, "enum:1024"), std::vector<std::string>{"0 "});
    EXPECT_TRUE(fs::exists(Release(kFirst) + "/S_OK"));
    EXPECT_TRUE(fs::exists(Release(kSecond) + "/S_OK"));

    // The solution update reaches the running kernel through the kernel's command runner, as a
    // second kernel's command would (a second kernel process would first ask to end this one).
    {
        HRESULT hr = E_FAIL;
        Quor::Orvane::UserCommandThread runner({"UpdateSolution", "kiv_game_client_sln", "en_US"}, 0, hr);
        ASSERT_EQ(hr, S_OK);
        ASSERT_EQ(Vorn::threadJoin(runner.GetThread(), Vorn::INFINITE), Vorn::WAIT_OBJECT_0);
        ASSERT_EQ(runner.GetResult(), S_OK) << Log();
    }

    run = Client({"enum:1024", "uninstall:1.0", "pollinstall", "enum:1024", "preview:2.0", "waitpreview"});
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(LinesOf(run.lines, "enum:1024"), (std::vector<std::string>{"1 [\"1.0\"]", "1 []"}));
    EXPECT_EQ(LinesOf(run.lines, "pollinstall").back(), "1 " + kSuccess);
    EXPECT_EQ(LinesOf(run.lines, "waitpreview"), std::vector<std::string>{"1 " + kInstalled});
    EXPECT_FALSE(fs::exists(Release(kFirst)));
    EXPECT_TRUE(fs::exists(Release(kSecond) + "/S_OK"));
}

// The download of the game's file stalls: a cancelled install fails at the next poll and ends in
// the kernel as cancelled; a client that exits while its install runs cancels it as the library
// unloads; the kernel goes on serving.
TEST_F(GameVersionKernel, CancelledAndAbandonedInstallsEndInTheKernelWhichKeepsServing) {
    QuorTest::ScriptedHttpServer server;
    ASSERT_TRUE(server.started());
    for (const auto& entry : fs::recursive_directory_iterator(content.path())) {
        if (!entry.is_regular_file()) continue;
        const std::string path = "/" + fs::relative(entry.path(), content.path()).string();
        QuorTest::ScriptedResponse response{.status = 200, .body = QuorTest::ReadFile(entry.path().string())};
        if (path.find("/projects/kiv_game/releases/1.0.0.1/files/") != std::string::npos) {
            response.stallAfterBodyBytes = 4096;
            response.stallInBody = QuorTest::kStallUntilStop;
        }
        server.SetResponse(path, response);
    }
    ASSERT_NO_FATAL_FAILURE(StartKernel(server.baseUrl()));
    const std::string downloading = "\"currentFile\":\"Kindrel.exe\"";

    QuorTest::ClientRun run =
        Client({"installprogress:1024", "install:1.0", "waitinstallhas:" + downloading, "cancelinstall",
                "installprogress:1024"});
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(LinesOf(run.lines, "installprogress:1024"), (std::vector<std::string>{"1 " + kFailure, "1 " + kFailure}));
    EXPECT_TRUE(WaitForLog("0x80004004, 0x01000001, )")) << Log();
    EXPECT_FALSE(fs::exists(Release(kFirst) + "/S_OK"));

    // The program ends while its install downloads: a clean exit, and the kernel cancels the job.
    run = Client({"install:1.0", "waitinstallhas:" + downloading});
    EXPECT_EQ(run.status, 0) << run.errors << ::testing::PrintToString(run.lines);
    EXPECT_EQ(run.errors.find("Sanitizer"), std::string::npos) << run.errors;
    EXPECT_EQ(run.errors.find("runtime error"), std::string::npos) << run.errors;
    EXPECT_TRUE(WaitForLog("0x80004004, 0x01000001, )", 2)) << Log();
    EXPECT_GE(LogCount("Cancelling job currently underway"), 2u) << Log();

    // Still serving: a preview of the other version is answered.
    run = Client({"preview:2.0", "waitpreview"});
    ASSERT_EQ(run.status, 0) << run.errors;
    const auto preview = LinesOf(run.lines, "waitpreview");
    ASSERT_EQ(preview.size(), 1u) << ::testing::PrintToString(run.lines);
    EXPECT_TRUE(preview[0].starts_with("1 " + kPreviewed)) << preview[0];
    EXPECT_TRUE(kernel->Running()) << kernel->Stderr();
}

}  // namespace
