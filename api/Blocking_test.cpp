// Blocking calls against the scripted fake kernel of the test kit: outputs on success and on
// failure, progress before return, a kernel that goes away, and a main object without a kernel.
#include "api/Blocking.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "api/testing/ConnectedMain.h"
#include "api/testing/KernelPackets.h"
#include "common/testing/LogCapture.h"
#include "tests/kit/FakeKernel.h"

namespace {

namespace Blocking = Quor::API::Blocking;
using Quor::API::IMain;
using Quor::API::Progress;
using Quor::OrvaneProtocol::IOrvaneToApp;
using QuorTest::RecordedCall;
using Strings = std::vector<std::string>;
using Words = std::vector<DWORD>;

constexpr HRESULT kBad = E_ABORT;

// The fake kernel's answer to one request: fixed results, the result code `code`.
void Answer(IOrvaneToApp& s, const RecordedCall& c, HRESULT code) {
    const DWORD id = c.requestId;
    const std::string& op = c.operation;
    const bool failing = FAILED(code);
    if (op == "GetVersionRequest") s.GetVersionResponse(0, id, 0x01020304);
    if (op == "EnumerateAvailableProjectsRequest")
        s.EnumerateAvailableProjectsResponse(0, id, code, {"a", "b"});
    if (op == "EnumerateInstalledProjectsRequest") s.EnumerateInstalledProjectsResponse(0, id, code, {"c"});
    if (op == "EnumerateAvailableProjectReleasesRequest")
        s.EnumerateAvailableProjectReleasesResponse(0, id, code, {1, 2});
    if (op == "EnumerateInstalledProjectReleasesRequest")
        s.EnumerateInstalledProjectReleasesResponse(0, id, code, {3});
    if (op == "InstallProjectReleaseRequest") s.InstallProjectReleaseResponse(0, id, code);
    if (op == "UpdateProjectRequest") {
        for (DWORD i = 1; i <= 3; ++i)
            s.RequestProgress(0, id, i, 0, 0, 0, i * 10, 30, Progress::OperationType(1),
                              Progress::StepType(2), 0, 0, "file" + std::to_string(i));
        s.UpdateProjectResponse(0, id, code, 7);
    }
    if (op == "RepairRequest") s.RepairResponse(0, id, code);
    if (op == "UninstallProjectReleaseRequest") s.UninstallProjectReleaseResponse(0, id, code);
    if (op == "EnumerateAvailableSolutionsRequest") s.EnumerateAvailableSolutionsResponse(0, id, code, {"s"});
    if (op == "EnumerateInstalledSolutionsRequest")
        s.EnumerateInstalledSolutionsResponse(0, id, code, {"t", "u"});
    if (op == "EnumerateAvailableSolutionReleasesRequest")
        s.EnumerateAvailableSolutionReleasesResponse(0, id, code, {4});
    if (op == "EnumerateInstalledSolutionReleasesRequest")
        s.EnumerateInstalledSolutionReleasesResponse(0, id, code, {5, 6});
    if (op == "InstallSolutionReleaseRequest") s.InstallSolutionReleaseResponse(0, id, code, 8);
    if (op == "InstallSolutionReleaseByProjectVersionRequest")
        s.InstallSolutionReleaseByProjectVersionResponse(0, id, code, 9, "{\"ok\":1}");
    if (op == "UpdateSolutionRequest") s.UpdateSolutionResponse(0, id, code, 10);
    if (op == "UninstallSolutionReleaseRequest") s.UninstallSolutionReleaseResponse(0, id, code);
    if (op == "TerminateRequest") s.TerminateResponse(0, id, code);
    if (op == "CreateProcessRequest") s.CreateProcessResponse(0, id, code, 111, 222);
    if (op == "SetLogParametersRequest") s.SetLogParametersResponse(0, id, code);
    if (op == "LockFileRequest") s.LockFileResponse(0, id, code, "archive.dat", 1, 2, 3);
    if (op == "UnlockFileRequest") s.UnlockFileResponse(0, id, code);
    if (op == "GetProjectVersionForSolutionReleaseRequest")
        s.GetProjectVersionForSolutionReleaseResponse(0, id, failing ? "" : "1.2.3.4");
    if (op == "GetQuorLibraryRequest") s.GetQuorLibraryResponse(0, id, code, "/q/libMondrel.so");
}

struct BlockingCalls : ::testing::Test {
    QuorTest::LogCapture log{Quor::Log::WARNING};
    QuorTest::FakeKernel kernel;
    std::atomic<HRESULT> code{S_OK};
    std::unique_ptr<QuorTest::ConnectedMain> main;

    void SetUp() override {
        kernel.SetResponder([this](std::vector<uint8_t>& pending) {
            const auto calls = QuorTest::TakeRequests(pending);
            return QuorTest::KernelBytes([&](IOrvaneToApp& s) {
                for (const auto& call : calls) Answer(s, call, code);
            });
        });
        main = std::make_unique<QuorTest::ConnectedMain>(kernel.Port());
        ASSERT_EQ(main->GetFlags(), IMain::FLAG_CONNECTED);
    }
};

TEST_F(BlockingCalls, OutputsOnSuccessAndOnFailure) {
    using Row = std::function<void(IMain&, bool failing)>;
    const auto expectHr = [](HRESULT hr, bool failing) { EXPECT_EQ(hr, failing ? kBad : S_OK); };
    const std::vector<std::pair<const char*, Row>> rows = {
        {"GetVersion",
         [&](IMain& m, bool) {
             DWORD v = 0;
             EXPECT_EQ(Blocking::GetVersion(m, v), S_OK);  // carries no result code
             EXPECT_EQ(v, 0x01020304u);
         }},
        {"EnumerateAvailableProjects",
         [&](IMain& m, bool f) {
             Strings out = {"stale"};
             expectHr(Blocking::EnumerateAvailableProjects(m, out), f);
             EXPECT_EQ(out, f ? Strings() : (Strings{"a", "b"}));
         }},
        {"EnumerateInstalledProjects",
         [&](IMain& m, bool f) {
             Strings out = {"stale"};
             expectHr(Blocking::EnumerateInstalledProjects(m, out), f);
             EXPECT_EQ(out, f ? Strings() : (Strings{"c"}));
         }},
        {"EnumerateAvailableProjectReleases",
         [&](IMain& m, bool f) {
             Words out = {99};
             expectHr(Blocking::EnumerateAvailableProjectReleases(m, "p", out), f);
             EXPECT_EQ(out, f ? Words() : (Words{1, 2}));
         }},
        {"EnumerateInstalledProjectReleases",
         [&](IMain& m, bool f) {
             Words out = {99};
             expectHr(Blocking::EnumerateInstalledProjectReleases(m, "p", out), f);
             EXPECT_EQ(out, f ? Words() : (Words{3}));
         }},
        {"InstallProjectRelease",
         [&](IMain& m, bool f) { expectHr(Blocking::InstallProjectRelease(m, "p", 1), f); }},
        {"UpdateProject", [&](IMain& m, bool f) { expectHr(Blocking::UpdateProject(m, "p", {}), f); }},
        {"Repair", [&](IMain& m, bool f) { expectHr(Blocking::Repair(m, 0), f); }},
        {"UninstallProjectRelease",
         [&](IMain& m, bool f) { expectHr(Blocking::UninstallProjectRelease(m, "p", 1), f); }},
        {"EnumerateAvailableSolutions",
         [&](IMain& m, bool f) {
             Strings out = {"stale"};
             expectHr(Blocking::EnumerateAvailableSolutions(m, out), f);
             EXPECT_EQ(out, f ? Strings() : (Strings{"s"}));
         }},
        {"EnumerateInstalledSolutions",
         [&](IMain& m, bool f) {
             Strings out = {"stale"};
             expectHr(Blocking::EnumerateInstalledSolutions(m, out), f);
             EXPECT_EQ(out, f ? Strings() : (Strings{"t", "u"}));
         }},
        {"EnumerateAvailableSolutionReleases",
         [&](IMain& m, bool f) {
             Words out = {99};
             expectHr(Blocking::EnumerateAvailableSolutionReleases(m, "s", out), f);
             EXPECT_EQ(out, f ? Words() : (Words{4}));
         }},
        {"EnumerateInstalledSolutionReleases",
         [&](IMain& m, bool f) {
             Words out = {99};
             expectHr(Blocking::EnumerateInstalledSolutionReleases(m, "s", out), f);
             EXPECT_EQ(out, f ? Words() : (Words{5, 6}));
         }},
        {"InstallSolutionRelease",
         [&](IMain& m, bool f) { expectHr(Blocking::InstallSolutionRelease(m, "s", 1, "c"), f); }},
        {"InstallSolutionReleaseByProjectVersion",
         [&](IMain& m, bool f) {
             DWORD v = 77;
             std::string text = "kept";
             expectHr(
                 Blocking::InstallSolutionReleaseByProjectVersion(m, "s", "1.0", "c", true, false, v, text),
                 f);
             EXPECT_EQ(v, f ? 77u : 9u);
             EXPECT_EQ(text, f ? "kept" : "{\"ok\":1}");
         }},
        {"UpdateSolution", [&](IMain& m, bool f) { expectHr(Blocking::UpdateSolution(m, "s", "c"), f); }},
        {"UninstallSolutionRelease",
         [&](IMain& m, bool f) { expectHr(Blocking::UninstallSolutionRelease(m, "s", 1), f); }},
        {"Terminate", [&](IMain& m, bool f) { expectHr(Blocking::Terminate(m), f); }},
        {"CreateProcess",
         [&](IMain& m, bool f) {
             DWORD process = 5, thread = 6;
             expectHr(Blocking::CreateProcess(m, "n", 1, "e", "a", process, thread), f);
             EXPECT_EQ(process, f ? 5u : 111u);
             EXPECT_EQ(thread, f ? 6u : 222u);
         }},
        {"SetLogParameters", [&](IMain& m, bool f) { expectHr(Blocking::SetLogParameters(m, 3), f); }},
        {"LockFile",
         [&](IMain& m, bool f) {
             std::string name = "kept";
             uint32_t offset = 7, size = 8, handle = 9;
             expectHr(Blocking::LockFile(m, "p", 1, "f", name, offset, size, handle), f);
             EXPECT_EQ(name, f ? "kept" : "archive.dat");
             EXPECT_EQ(offset + size + handle, f ? 24u : 6u);
         }},
        {"UnlockFile", [&](IMain& m, bool f) { expectHr(Blocking::UnlockFile(m, 3), f); }},
        {"GetProjectVersionForSolutionRelease",
         [&](IMain& m, bool f) {
             std::string version = "stale";
             Blocking::GetProjectVersionForSolutionRelease(m, "s", 1, version);
             EXPECT_EQ(version, f ? "" : "1.2.3.4");
         }},
        {"GetQuorLibrary",
         [&](IMain& m, bool f) {
             std::string path = "kept";
             expectHr(Blocking::GetQuorLibrary(m, path), f);
             EXPECT_EQ(path, f ? "kept" : "/q/libMondrel.so");
         }},
    };
    ASSERT_EQ(rows.size(), 24u);
    for (const bool failing : {false, true}) {
        code = failing ? kBad : S_OK;
        for (const auto& [name, row] : rows) {
            SCOPED_TRACE(std::string(name) + (failing ? " failing" : " succeeding"));
            log.Clear();
            row(*main, failing);
            const bool noCode = std::string(name) == "GetVersion";
            EXPECT_EQ(log.HasError("Failed to make RPC call."), failing && !noCode) << log.All();
        }
    }
}

TEST_F(BlockingCalls, UpdateProjectDeliversEveryProgressBeforeItReturns) {
    struct Listener final : Quor::API::IUpdateProgress {
        std::vector<std::string> items;
        void UpdateProgress(const Progress& p) override { items.push_back(p.m_CurrentItem); }
    };
    auto listener = std::make_shared<Listener>();
    EXPECT_EQ(Blocking::UpdateProject(*main, "p", listener), S_OK);
    EXPECT_EQ(listener->items, (Strings{"file1", "file2", "file3"}));
}

TEST(BlockingCallsWithoutKernel, FailWithoutTouchingTheRequestManager) {
    struct Unconnected final : IMain {
        HRESULT FindFile(const std::string&, const uint32_t,
                         std::shared_ptr<Quor::API::IFindFileResult>&) override {
            return E_NOTIMPL;
        }
        HRESULT OpenFile(const std::string&, const Quor::API::FILE_TYPE,
                         std::shared_ptr<Quor::API::IFile>&) override {
            return E_NOTIMPL;
        }
        bool DoesFileOrDirectoryExist(const std::string&) override { return false; }
        void FindBestPath(const std::string&, std::string&) override {}
        std::shared_ptr<Quor::API::IAsyncLoadFile> CreateAsyncLoadFile(const std::string&) override {
            return {};
        }
        Quor::API::RPC::IManager& GetRPCManager() override {
            ADD_FAILURE() << "GetRPCManager called without a kernel";
            std::abort();
        }
        DWORD GetFlags() const override { return IMain::FLAG_RUNTIME_ENVIRONMENT; }
    } main;
    QuorTest::LogCapture log;
    Strings names = {"stale"};
    EXPECT_EQ(Blocking::EnumerateInstalledProjects(main, names), E_FAIL);
    EXPECT_TRUE(names.empty());
    DWORD version = 5;
    EXPECT_EQ(Blocking::GetVersion(main, version), E_FAIL);
    EXPECT_EQ(version, 5u);
    std::string projectVersion = "stale";
    Blocking::GetProjectVersionForSolutionRelease(main, "s", 1, projectVersion);
    EXPECT_EQ(projectVersion, "");
    EXPECT_EQ(log.Count("Failed to make RPC call."), 3u) << log.All();
}

TEST(BlockingCallsKernelGone, WaitingCallsFailAndLaterOnesFailAtOnce) {
    QuorTest::FakeKernel kernel;  // answers nothing
    QuorTest::ConnectedMain main(kernel.Port());
    ASSERT_EQ(main.GetFlags(), IMain::FLAG_CONNECTED);
    HRESULT results[3] = {S_OK, S_OK, S_OK};
    std::thread callers[] = {
        std::thread([&] {
            DWORD v = 0;
            results[0] = Blocking::GetVersion(main, v);
        }),
        std::thread([&] { results[1] = Blocking::UpdateProject(main, "p", {}); }),
        std::thread([&] { results[2] = Blocking::InstallProjectRelease(main, "p", 1); }),
    };
    ASSERT_TRUE(kernel.WaitForBytes(12 + 18 + 22));  // all three requests are out
    kernel.CloseClient();
    for (auto& t : callers) t.join();
    for (const HRESULT hr : results) EXPECT_EQ(hr, E_FAIL);
    EXPECT_EQ(Blocking::Repair(main, 0), E_FAIL);
    EXPECT_EQ(kernel.Received().size(), 12u + 18u + 22u) << "nothing more was sent";
}

}  // namespace
