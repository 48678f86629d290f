// The client library's blocking calls against the kernel host program serving a content tree from
// nginx, and what they do when the kernel is killed while they wait.
#include <gtest/gtest.h>
#include <semaphore.h>
#include <signal.h>
#include <unistd.h>

#include <thread>

#include "api/Blocking.h"
#include "api/Main.h"
#include "api/testing/ConnectedMain.h"
#include "remote/ProjectVersionListing.h"
#include "tests/kit/KernelProcess.h"
#include "tests/kit/LoopbackSocket.h"
#include "tests/kit/NginxServer.h"
#include "tests/kit/ScriptedHttpServer.h"
#include "tests/kit/TempDir.h"

namespace {

namespace Blocking = Quor::API::Blocking;
using Strings = std::vector<std::string>;
using Words = std::vector<DWORD>;

constexpr DWORD V1000 = 0x01000000;
constexpr DWORD V1002 = 0x01000002;

class ClientAgainstKernelHost : public ::testing::Test {
protected:
    void SetUp() override {
        NewInstance();
        port = QuorTest::FreeLoopbackPort();
        ASSERT_NE(port, 0);
        ::setenv("ORVANE_PORT", std::to_string(port).c_str(), 1);
    }
    // A killed kernel leaves its instance's semaphore behind: this test's instances go with it, so
    // that a later run with the same process number (a fresh pid namespace) finds none of them.
    void TearDown() override {
        for (int instance = 1; instance <= instances; ++instance)
            ::sem_unlink((std::string("/") + Quor::API::Impl::Main::kKernelSemaphore + Suffix(instance)).c_str());
    }
    static std::string Suffix(int instance) {
        return "_apitest" + std::to_string(::getpid()) + "_" + std::to_string(instance);
    }
    // Named semaphores of a kernel of this test never meet another kernel's.
    void NewInstance() {
        ::setenv("ORVANE_INSTANCE", Suffix(++instances).c_str(), 1);
    }
    void WriteSettings(const std::string& downloadUrl) {
        QuorTest::WriteFile(tree.system() + "/system.cfg",
                            "DownloadPath = /quor\nRegion = us\nDownloadURL = " + downloadUrl + "\n");
    }

    QuorTest::QuorTree tree;
    uint16_t port = 0;
    int instances = 0;
};

TEST_F(ClientAgainstKernelHost, EveryBlockingCallReturnsTheKernelsResultAndOutputs) {
    QuorTest::TempDir content;
    QuorTest::WriteFile(content.path() + "/quor/projects/game/releases/releaselisting_us",
                        "1.0.0.0\n1.0.0.2\n");
    Quor::Common::ProjectVersionListing listing;
    ASSERT_EQ(S_OK, listing.Add(V1000, "v1"));
    QuorTest::MakeDirs(content.path() + "/quor/solutions/sol/releases");
    ASSERT_EQ(S_OK, listing.Save(content.path() + "/quor/solutions/sol/releases/projectversionlisting"));
    QuorTest::WriteFile(tree.root() + "projects/game/releases/1.0.0.0/S_OK", "");
    QuorTest::MakeDirs(tree.root() + "solutions/sol/releases");
    QuorTest::NginxServer nginx(content.path());
    ASSERT_TRUE(nginx.started());
    WriteSettings(nginx.baseUrl());
    QuorTest::KernelProcess kernel(QUOR_KERNEL_HOST, tree.system());
    ASSERT_TRUE(kernel.WaitReady());
    QuorTest::ConnectedMain main(port);
    ASSERT_EQ(main.GetFlags(), Quor::API::IMain::FLAG_CONNECTED);

    DWORD version = 0xFFFF;
    EXPECT_EQ(Blocking::GetVersion(main, version), S_OK);
    EXPECT_EQ(version, 0u);
    Words releases;
    EXPECT_EQ(Blocking::EnumerateAvailableProjectReleases(main, "game", releases), S_OK);
    EXPECT_EQ(releases, (Words{V1000, V1002}));
    EXPECT_EQ(Blocking::EnumerateInstalledProjectReleases(main, "game", releases), S_OK);
    EXPECT_EQ(releases, (Words{V1000}));
    Strings names;
    EXPECT_EQ(Blocking::EnumerateInstalledProjects(main, names), S_OK);
    EXPECT_EQ(names, (Strings{"game"}));
    EXPECT_EQ(Blocking::EnumerateAvailableProjects(main, names), S_OK);
    EXPECT_EQ(Blocking::EnumerateAvailableSolutions(main, names), S_OK);
    EXPECT_EQ(Blocking::EnumerateInstalledSolutions(main, names), S_OK);
    EXPECT_EQ(names, Strings{"sol"});
    EXPECT_EQ(Blocking::EnumerateInstalledSolutionReleases(main, "sol", releases), S_OK);
    EXPECT_EQ(releases, Words{});
    std::string projectVersion;
    Blocking::GetProjectVersionForSolutionRelease(main, "sol", V1000, projectVersion);
    EXPECT_EQ(projectVersion, "v1");
    Blocking::GetProjectVersionForSolutionRelease(main, "sol", V1002, projectVersion);
    EXPECT_EQ(projectVersion, "");
    EXPECT_EQ(Blocking::SetLogParameters(main, 1), S_OK);
    EXPECT_EQ(Blocking::UnlockFile(main, 0xFFFFFFFF), S_OK);
    std::string path = "kept";
    EXPECT_TRUE(FAILED(Blocking::GetQuorLibrary(main, path)));  // no client library beside this host
    EXPECT_EQ(path, "kept");
    // Names that could leave their folder are refused by the kernel; outputs stay as they were.
    DWORD process = 5, thread = 6;
    EXPECT_EQ(Blocking::CreateProcess(main, "game", V1000, "/bin/sh", "-c true", process, thread), E_FAIL);
    EXPECT_EQ(process + thread, 11u);
    std::string fileName = "kept";
    uint32_t offset = 1, size = 2, handle = 3;
    EXPECT_EQ(Blocking::LockFile(main, "game", V1000, "../../etc/passwd", fileName, offset, size, handle),
              E_FAIL);
    EXPECT_EQ(fileName, "kept");
    // Every other call returns what the kernel answered: whatever the result, the call ends.
    const std::vector<std::pair<const char*, std::function<HRESULT()>>> others = {
        {"InstallProjectRelease", [&] { return Blocking::InstallProjectRelease(main, "game", V1002); }},
        {"UpdateProject", [&] { return Blocking::UpdateProject(main, "game", {}); }},
        {"UninstallProjectRelease",
         [&] { return Blocking::UninstallProjectRelease(main, "nothere", V1000); }},
        {"EnumerateAvailableSolutionReleases",
         [&] { return Blocking::EnumerateAvailableSolutionReleases(main, "sol", releases); }},
        {"InstallSolutionRelease",
         [&] { return Blocking::InstallSolutionRelease(main, "sol", V1000, "en_US"); }},
        {"InstallSolutionReleaseByProjectVersion",
         [&] {
             DWORD v = 0;
             std::string text;
             return Blocking::InstallSolutionReleaseByProjectVersion(main, "sol", "v1", "en_US", true, false,
                                                                     v, text);
         }},
        {"UpdateSolution", [&] { return Blocking::UpdateSolution(main, "sol", "en_US"); }},
        {"UninstallSolutionRelease", [&] { return Blocking::UninstallSolutionRelease(main, "sol", V1000); }},
        {"Repair", [&] { return Blocking::Repair(main, 1); }},
    };
    for (const auto& [name, call] : others)
        std::printf("%-40s 0x%08x\n", name, static_cast<unsigned>(call()));
    EXPECT_EQ(Blocking::Terminate(main), S_OK);
    EXPECT_EQ(kernel.Wait(), 0);
}

TEST_F(ClientAgainstKernelHost, CallsWaitingWhenTheKernelIsKilledFailAndANewKernelServesANewConnection) {
    QuorTest::ScriptedHttpServer stalling;
    ASSERT_TRUE(stalling.started());
    stalling.SetDefaultResponse(
        {.status = 200, .body = "1.0.0.0\n", .stallBeforeHeaders = QuorTest::kStallUntilStop});
    WriteSettings(stalling.baseUrl());
    auto kernel = std::make_unique<QuorTest::KernelProcess>(QUOR_KERNEL_HOST, tree.system());
    ASSERT_TRUE(kernel->WaitReady());
    QuorTest::ConnectedMain main(port);
    ASSERT_EQ(main.GetFlags(), Quor::API::IMain::FLAG_CONNECTED);

    HRESULT results[3] = {S_OK, S_OK, S_OK};
    std::thread held([&] {
        Words releases;
        results[0] = Blocking::EnumerateAvailableProjectReleases(main, "game", releases);
    });
    ASSERT_TRUE(stalling.WaitForRequests(1)) << "the kernel is now held by the content server";
    std::thread queued1([&] {
        DWORD version = 0;
        results[1] = Blocking::GetVersion(main, version);
    });
    std::thread queued2([&] { results[2] = Blocking::SetLogParameters(main, 1); });
    kernel->Signal(SIGKILL);
    kernel->Wait();
    held.join();
    queued1.join();
    queued2.join();
    for (const HRESULT hr : results) EXPECT_TRUE(FAILED(hr)) << std::hex << hr;
    DWORD version = 0;
    EXPECT_EQ(Blocking::GetVersion(main, version), E_FAIL);
    stalling.Stop();

    NewInstance();  // a killed kernel leaves its instance's semaphore behind
    kernel = std::make_unique<QuorTest::KernelProcess>(QUOR_KERNEL_HOST, tree.system());
    ASSERT_TRUE(kernel->WaitReady());
    QuorTest::ConnectedMain fresh(port);
    ASSERT_EQ(fresh.GetFlags(), Quor::API::IMain::FLAG_CONNECTED);
    EXPECT_EQ(Blocking::GetVersion(fresh, version), S_OK);
}

}  // namespace
