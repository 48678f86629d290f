// The request manager over an in-memory connection: ids, routing of responses and progress,
// cancellation, failure when the connection ends, and a worker that survives bad packets.
#include "api/RequestManager.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "api/testing/FakeConnection.h"
#include "api/testing/KernelPackets.h"
#include "common/testing/LogCapture.h"
#include "foundation/WaitResult.h"

namespace {

using Quor::API::Progress;
using Quor::API::Impl::RPC::Manager;
using QuorTest::RecordedCall;

class ProgressRecorder final : public Quor::API::IUpdateProgress {
public:
    void UpdateProgress(const Progress& progress) override {
        std::lock_guard<std::mutex> lock(m_Mutex);
        reports.push_back(progress);
        if (onReport) onReport();
    }
    std::vector<Progress> Reports() {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return reports;
    }
    std::function<void()> onReport;

private:
    std::mutex m_Mutex;
    std::vector<Progress> reports;
};

struct RequestManager : ::testing::Test {
    QuorTest::LogCapture log;
    QuorTest::FakeConnection connection;
    HRESULT hr = S_OK;
    std::unique_ptr<Manager> manager = std::make_unique<Manager>(connection, hr);

    void SetUp() override { ASSERT_EQ(hr, S_OK); }
    void Answer(const std::function<void(Quor::OrvaneProtocol::IOrvaneToApp&)>& send) {
        connection.Push(QuorTest::KernelBytes(send));
    }
    std::vector<RecordedCall> Sent() {
        std::vector<BYTE> bytes;
        for (const auto& p : connection.sent.Packets())
            bytes.insert(bytes.end(), p.bytes.begin(), p.bytes.end());
        return QuorTest::DecodeRequests(bytes);
    }
    size_t Cancels() {
        size_t n = 0;
        for (const auto& call : Sent()) n += call.operation == "CancelRequest";
        return n;
    }
    DWORD LastId() { return Sent().back().requestId; }
    // Returns once the worker handled everything pushed before: a GetVersion round trip.
    void Barrier() {
        auto request = manager->CreateGetVersion({});
        const DWORD id = LastId();
        Answer([&](auto& s) { s.GetVersionResponse(0, id, 0); });
        request->WaitUntilComplete();
    }
};

TEST_F(RequestManager, IdsStartAtZeroAndAreSharedByAllTypes) {
    auto version = manager->CreateGetVersion({});
    auto update = manager->CreateUpdateProject("proj", {});
    EXPECT_EQ(Sent(), (std::vector<RecordedCall>{{"GetVersionRequest", 0, 0},
                                                 RecordedCall("UpdateProjectRequest", 0, 1).Text("proj")}));
    Answer([](auto& s) { s.GetVersionResponse(0, 0, 1); });
    Answer([](auto& s) { s.UpdateProjectResponse(0, 1, S_OK, 2); });
    version->WaitUntilComplete();
    update->WaitUntilComplete();
}

TEST_F(RequestManager, ResponsesReachOnlyTheirOwnTypeAndOnlyOnce) {
    auto version = manager->CreateGetVersion({});
    auto update = manager->CreateUpdateProject("proj", {});
    Answer([](auto& s) { s.GetVersionResponse(0, 1, 5); });  // id 1 is an UpdateProject
    Answer([](auto& s) { s.UpdateProjectResponse(0, 1, S_OK, 7); });
    update->WaitUntilComplete();
    Answer([](auto& s) { s.UpdateProjectResponse(0, 1, E_FAIL, 8); });
    Answer([](auto& s) { s.GetVersionResponse(0, 0, 9); });
    version->WaitUntilComplete();
    EXPECT_EQ(log.Count("Unknown requestId"), 2u) << log.All();
    EXPECT_EQ(update->GetAutoLockResult()->GetVersion(), 7u);
    EXPECT_EQ(update->GetAutoLockResult()->GetHResult(), S_OK);
    EXPECT_EQ(version->GetAutoLockResult()->GetResult(), 9u);
}

TEST_F(RequestManager, ProgressReachesTheListenerBeforeTheResponseAndNotAfterIt) {
    auto listener = std::make_shared<ProgressRecorder>();
    auto update = manager->CreateUpdateProject("proj", listener);
    const DWORD id = LastId();
    EXPECT_EQ(update->GetProgress().m_Counter1, 0u);
    EXPECT_EQ(update->GetProgress().m_CurrentItem, "");
    Answer([&](auto& s) {
        s.RequestProgress(0, id, 1, 2, 3, 4, 5, 6, Progress::OperationType(7), Progress::StepType(8), 1.5f,
                          2.5f, "a");
    });
    Answer([&](auto& s) { s.UpdateProjectResponse(0, id, S_OK, 3); });
    update->WaitUntilComplete();
    ASSERT_EQ(listener->Reports().size(), 1u);
    const Progress p = listener->Reports()[0];
    EXPECT_EQ(p.m_Counter1, 1u);
    EXPECT_EQ(p.m_BytesToDownload, 6u);
    EXPECT_EQ(p.m_StepType, Progress::StepType(8));
    EXPECT_EQ(p.m_RemainingSeconds, 2.5f);
    EXPECT_EQ(p.m_CurrentItem, "a");
    EXPECT_EQ(update->GetProgress().m_CurrentItem, "a");

    Answer([&](auto& s) {
        s.RequestProgress(0, id, 9, 9, 9, 9, 9, 9, Progress::OperationType(0), Progress::StepType(0), 0, 0,
                          "late");
    });
    Barrier();
    EXPECT_EQ(listener->Reports().size(), 1u);
    EXPECT_TRUE(log.Has(Quor::Log::WARNING, "Not found")) << log.All();
    EXPECT_TRUE(log.Has(Quor::Log::WARNING, "Unknown request")) << log.All();
}

TEST_F(RequestManager, AReleasedRequestsResponseIsDroppedAndItsEntryGoes) {
    auto version = manager->CreateGetVersion({});
    version.reset();
    Answer([](auto& s) { s.GetVersionResponse(0, 0, 1); });
    Barrier();
    EXPECT_TRUE(log.Has("Received response to request no longer being tracked by API")) << log.All();
    Answer([](auto& s) { s.GetVersionResponse(0, 0, 1); });
    Barrier();
    EXPECT_EQ(log.Count("Unknown requestId"), 1u) << log.All();
}

TEST_F(RequestManager, DroppingAPendingRequestCancelsIt) {
    const struct {
        const char* what;
        bool cancelFirst;
        bool answerFirst;
        size_t cancels;
    } cases[] = {{"dropped pending", false, false, 1},
                 {"dropped after its response", false, true, 0},
                 {"Cancel, then dropped pending", true, false, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        connection.sent.Clear();
        auto request = manager->CreateRepair(0, {});
        const DWORD id = LastId();
        if (c.cancelFirst) request->Cancel();
        if (c.answerFirst) {
            Answer([&](auto& s) { s.RepairResponse(0, id, S_OK); });
            request->WaitUntilComplete();
        }
        request.reset();
        EXPECT_EQ(Cancels(), c.cancels);
        for (const auto& p : connection.sent.Packets()) {
            if (p.bytes.size() == 12 && p.bytes[8] == 22) {
                EXPECT_EQ(Vorn::Bytes::LoadLE32(p.bytes.data() + 4), id);
            }
        }
    }
}

TEST_F(RequestManager, WaitingReturnsAtOnceOnACompleteRequestEveryTime) {
    auto request = manager->CreateTerminate({});
    Answer([](auto& s) { s.TerminateResponse(0, 0, E_ABORT); });
    request->WaitUntilComplete();
    EXPECT_EQ(request->GetEvent()->Wait(10000), Vorn::WAIT_OBJECT_0) << "the event is set once, auto-reset";
    request->WaitUntilComplete();
    request->WaitUntilComplete();
    EXPECT_TRUE(request->GetIsComplete());
    EXPECT_EQ(request->GetAutoLockResult()->GetHResult(), E_ABORT);
}

TEST_F(RequestManager, EveryRequestClassStoresItsResponse) {
    using namespace Quor::API::RPC;
    const HRESULT bad = E_ABORT;
    // Each row: make the request, answer it as the kernel would (with a failure code where the
    // response has one), then read the results back.
    const std::vector<std::pair<const char*, std::function<void(RequestManager&)>>> rows = {
        {"GetVersion",
         [](RequestManager& t) {
             auto r = t.manager->CreateGetVersion({});
             t.Answer([&](auto& s) { s.GetVersionResponse(0, t.LastId(), 0x01020304); });
             r->WaitUntilComplete();
             auto v = r->GetAutoLockResult();
             EXPECT_EQ(v->GetHResult(), S_OK);  // status: the response has no code
             EXPECT_EQ(v->GetResult(), 0x01020304u);
         }},
        {"EnumerateAvailableProjects",
         [&](RequestManager& t) {
             auto r = t.manager->CreateEnumerateAvailableProjects({});
             t.Answer([&](auto& s) { s.EnumerateAvailableProjectsResponse(0, t.LastId(), bad, {"a", "b"}); });
             r->WaitUntilComplete();
             auto v = r->GetAutoLockResult();
             EXPECT_EQ(v->GetHResult(), bad);
             EXPECT_EQ(v->GetProjects(), (std::vector<std::string>{"a", "b"}));
         }},
        {"EnumerateInstalledProjects",
         [&](RequestManager& t) {
             auto r = t.manager->CreateEnumerateInstalledProjects({});
             t.Answer([&](auto& s) { s.EnumerateInstalledProjectsResponse(0, t.LastId(), S_OK, {}); });
             r->WaitUntilComplete();
             EXPECT_EQ(r->GetAutoLockResult()->GetHResult(), S_OK);
             EXPECT_TRUE(r->GetAutoLockResult()->GetProjects().empty());
         }},
        {"EnumerateAvailableProjectReleases",
         [&](RequestManager& t) {
             auto r = t.manager->CreateEnumerateAvailableProjectReleases("p", {});
             t.Answer([&](auto& s) {
                 s.EnumerateAvailableProjectReleasesResponse(0, t.LastId(), bad, {1, 2});
             });
             r->WaitUntilComplete();
             EXPECT_EQ(r->GetAutoLockResult()->GetHResult(), bad);
             EXPECT_EQ(r->GetAutoLockResult()->GetReleases(), (std::vector<DWORD>{1, 2}));
         }},
        {"EnumerateInstalledProjectReleases",
         [&](RequestManager& t) {
             auto r = t.manager->CreateEnumerateInstalledProjectReleases("p", {});
             t.Answer(
                 [&](auto& s) { s.EnumerateInstalledProjectReleasesResponse(0, t.LastId(), S_OK, {3}); });
             r->WaitUntilComplete();
             EXPECT_EQ(r->GetAutoLockResult()->GetReleases(), (std::vector<DWORD>{3}));
         }},
        {"InstallProjectRelease",
         [&](RequestManager& t) {
             auto r = t.manager->CreateInstallProjectRelease("p", 1, {});
             t.Answer([&](auto& s) { s.InstallProjectReleaseResponse(0, t.LastId(), bad); });
             r->WaitUntilComplete();
             EXPECT_EQ(r->GetAutoLockResult()->GetHResult(), bad);
         }},
        {"UpdateProject",
         [&](RequestManager& t) {
             auto r = t.manager->CreateUpdateProject("p", {});
             t.Answer([&](auto& s) { s.UpdateProjectResponse(0, t.LastId(), bad, 4); });
             r->WaitUntilComplete();
             EXPECT_EQ(r->GetAutoLockResult()->GetHResult(), bad);
             EXPECT_EQ(r->GetAutoLockResult()->GetVersion(), 4u);
         }},
        {"Repair",
         [&](RequestManager& t) {
             auto r = t.manager->CreateRepair(1, {});
             t.Answer([&](auto& s) { s.RepairResponse(0, t.LastId(), bad); });
             r->WaitUntilComplete();
             EXPECT_EQ(r->GetAutoLockResult()->GetHResult(), bad);
         }},
        {"ValidateProject",
         [&](RequestManager& t) {
             auto r = t.manager->CreateValidateProject("p", {});
             t.Answer([&](auto& s) { s.ValidateProjectResponse(0, t.LastId(), bad); });
             r->WaitUntilComplete();
             EXPECT_EQ(r->GetAutoLockResult()->GetHResult(), bad);
         }},
        {"UninstallProjectRelease",
         [&](RequestManager& t) {
             auto r = t.manager->CreateUninstallProjectRelease("p", 1, {});
             t.Answer([&](auto& s) { s.UninstallProjectReleaseResponse(0, t.LastId(), bad); });
             r->WaitUntilComplete();
             EXPECT_EQ(r->GetAutoLockResult()->GetHResult(), bad);
         }},
        {"EnumerateAvailableSolutions",
         [&](RequestManager& t) {
             auto r = t.manager->CreateEnumerateAvailableSolutions({});
             t.Answer([&](auto& s) { s.EnumerateAvailableSolutionsResponse(0, t.LastId(), bad, {"s"}); });
             r->WaitUntilComplete();
             EXPECT_EQ(r->GetAutoLockResult()->GetHResult(), bad);
             EXPECT_EQ(r->GetAutoLockResult()->GetSolutions(), (std::vector<std::string>{"s"}));
         }},
        {"EnumerateInstalledSolutions",
         [&](RequestManager& t) {
             auto r = t.manager->CreateEnumerateInstalledSolutions({});
             t.Answer([&](auto& s) {
                 s.EnumerateInstalledSolutionsResponse(0, t.LastId(), S_OK, {"x", ""});
             });
             r->WaitUntilComplete();
             EXPECT_EQ(r->GetAutoLockResult()->GetSolutions(), (std::vector<std::string>{"x", ""}));
         }},
        {"EnumerateAvailableSolutionReleases",
         [&](RequestManager& t) {
             auto r = t.manager->CreateEnumerateAvailableSolutionReleases("s", {});
             t.Answer(
                 [&](auto& s) { s.EnumerateAvailableSolutionReleasesResponse(0, t.LastId(), bad, {7}); });
             r->WaitUntilComplete();
             EXPECT_EQ(r->GetAutoLockResult()->GetHResult(), bad);
             EXPECT_EQ(r->GetAutoLockResult()->GetReleases(), (std::vector<DWORD>{7}));
         }},
        {"EnumerateInstalledSolutionReleases",
         [&](RequestManager& t) {
             auto r = t.manager->CreateEnumerateInstalledSolutionReleases("s", {});
             t.Answer(
                 [&](auto& s) { s.EnumerateInstalledSolutionReleasesResponse(0, t.LastId(), S_OK, {}); });
             r->WaitUntilComplete();
             EXPECT_TRUE(r->GetAutoLockResult()->GetReleases().empty());
         }},
        {"InstallSolutionRelease",
         [&](RequestManager& t) {
             auto r = t.manager->CreateInstallSolutionRelease("s", 1, "c", {});
             t.Answer([&](auto& s) { s.InstallSolutionReleaseResponse(0, t.LastId(), bad, 5); });
             r->WaitUntilComplete();
             EXPECT_EQ(r->GetAutoLockResult()->GetHResult(), bad);
             EXPECT_EQ(r->GetAutoLockResult()->GetVer(), 5u);
         }},
        {"InstallSolutionReleaseByProjectVersion",
         [&](RequestManager& t) {
             auto r =
                 t.manager->CreateInstallSolutionReleaseByProjectVersion("s", "1.0", "c", true, false, {});
             t.Answer([&](auto& s) {
                 s.InstallSolutionReleaseByProjectVersionResponse(0, t.LastId(), bad, 6, "{}");
             });
             r->WaitUntilComplete();
             std::string text = "stale";
             r->GetAutoLockResult()->GetResp(text);
             EXPECT_EQ(r->GetAutoLockResult()->GetHResult(), bad);
             EXPECT_EQ(r->GetAutoLockResult()->GetVer(), 6u);
             EXPECT_EQ(text, "{}");
         }},
        {"UpdateSolution",
         [&](RequestManager& t) {
             auto r = t.manager->CreateUpdateSolution("s", "c", {});
             t.Answer([&](auto& s) { s.UpdateSolutionResponse(0, t.LastId(), bad, 9); });
             r->WaitUntilComplete();
             EXPECT_EQ(r->GetAutoLockResult()->GetHResult(), bad);
             EXPECT_EQ(r->GetAutoLockResult()->GetVersion(), 9u);
         }},
        {"ValidateSolution",
         [&](RequestManager& t) {
             auto r = t.manager->CreateValidateSolution("s", {});
             t.Answer([&](auto& s) { s.ValidateSolutionResponse(0, t.LastId(), bad); });
             r->WaitUntilComplete();
             EXPECT_EQ(r->GetAutoLockResult()->GetHResult(), bad);
         }},
        {"UninstallSolutionRelease",
         [&](RequestManager& t) {
             auto r = t.manager->CreateUninstallSolutionRelease("s", 1, {});
             t.Answer([&](auto& s) { s.UninstallSolutionReleaseResponse(0, t.LastId(), bad); });
             r->WaitUntilComplete();
             EXPECT_EQ(r->GetAutoLockResult()->GetHResult(), bad);
         }},
        {"Terminate",
         [&](RequestManager& t) {
             auto r = t.manager->CreateTerminate({});
             t.Answer([&](auto& s) { s.TerminateResponse(0, t.LastId(), bad); });
             r->WaitUntilComplete();
             EXPECT_EQ(r->GetAutoLockResult()->GetHResult(), bad);
         }},
        {"CreateProcess",
         [&](RequestManager& t) {
             auto r = t.manager->CreateCreateProcess("n", 1, "e", "a", {});
             t.Answer([&](auto& s) { s.CreateProcessResponse(0, t.LastId(), bad, 11, 12); });
             r->WaitUntilComplete();
             auto v = r->GetAutoLockResult();
             EXPECT_EQ(v->GetHResult(), bad);  // status
             EXPECT_EQ(v->GetProcessId(), 11u);
             EXPECT_EQ(v->GetThreadId(), 12u);
         }},
        {"SetLogParameters",
         [&](RequestManager& t) {
             auto r = t.manager->CreateSetLogParameters(3, {});
             t.Answer([&](auto& s) { s.SetLogParametersResponse(0, t.LastId(), bad); });
             r->WaitUntilComplete();
             EXPECT_EQ(r->GetAutoLockResult()->GetHResult(), bad);  // status
         }},
        {"LockFile",
         [&](RequestManager& t) {
             auto r = t.manager->CreateLockFile("p", 1, "f", {});
             t.Answer([&](auto& s) { s.LockFileResponse(0, t.LastId(), bad, "archive.dat", 1, 2, 3); });
             r->WaitUntilComplete();
             auto v = r->GetAutoLockResult();
             EXPECT_EQ(v->GetHResult(), bad);
             EXPECT_EQ(v->GetFileName(), "archive.dat");
             EXPECT_EQ(v->GetOffset(), 1u);
             EXPECT_EQ(v->GetSize(), 2u);
             EXPECT_EQ(v->GetHandle(), 3u);
         }},
        {"UnlockFile",
         [&](RequestManager& t) {
             auto r = t.manager->CreateUnlockFile(3, {});
             t.Answer([&](auto& s) { s.UnlockFileResponse(0, t.LastId(), bad); });
             r->WaitUntilComplete();
             EXPECT_EQ(r->GetAutoLockResult()->GetHResult(), bad);
         }},
        {"GetProjectVersionForSolutionRelease",
         [&](RequestManager& t) {
             auto r = t.manager->CreateGetProjectVersionForSolutionRelease("s", 1, {});
             t.Answer(
                 [&](auto& s) { s.GetProjectVersionForSolutionReleaseResponse(0, t.LastId(), "1.2.3.4"); });
             r->WaitUntilComplete();
             std::string text;
             r->GetAutoLockResult()->GetProjectVersion(text);
             EXPECT_EQ(text, "1.2.3.4");
         }},
        {"GetQuorLibrary",
         [&](RequestManager& t) {
             auto r = t.manager->CreateGetQuorLibrary({});
             t.Answer([&](auto& s) { s.GetQuorLibraryResponse(0, t.LastId(), bad, "/lib/libMondrel.so"); });
             r->WaitUntilComplete();
             EXPECT_EQ(r->GetAutoLockResult()->GetHResult(), bad);  // status
             EXPECT_EQ(r->GetAutoLockResult()->GetPath(), "/lib/libMondrel.so");
         }},
    };
    ASSERT_EQ(rows.size(), 26u);
    for (const auto& [name, row] : rows) {
        SCOPED_TRACE(name);
        row(*this);
    }
}

TEST_F(RequestManager, ResultsReadZeroBeforeTheResponse) {
    auto r = manager->CreateLockFile("p", 1, "f", {});
    {
        auto v = r->GetAutoLockResult();
        EXPECT_EQ(v->GetHResult(), S_OK);
        EXPECT_EQ(v->GetOffset(), 0u);
        EXPECT_EQ(v->GetHandle(), 0u);
        EXPECT_EQ(v->GetFileName(), "");
    }
    Answer([&](auto& s) { s.LockFileResponse(0, LastId(), S_OK, "a", 1, 2, 3); });
    r->WaitUntilComplete();
}

TEST_F(RequestManager, TheConnectionEndingFailsWhatIsOutstandingAfterDispatchingWhatArrived) {
    auto answered = manager->CreateGetVersion({});
    auto outstanding = manager->CreateCreateProcess("n", 1, "e", "a", {});
    Answer([](auto& s) { s.GetVersionResponse(0, 0, 42); });
    connection.Close();
    answered->WaitUntilComplete();
    outstanding->WaitUntilComplete();
    EXPECT_EQ(answered->GetAutoLockResult()->GetResult(), 42u);
    EXPECT_EQ(outstanding->GetAutoLockResult()->GetHResult(), E_FAIL);

    const size_t sent = connection.sent.Count();
    auto later = manager->CreateUpdateProject("p", {});
    EXPECT_TRUE(later->GetIsComplete());
    EXPECT_EQ(later->GetAutoLockResult()->GetHResult(), E_FAIL);
    later.reset();
    EXPECT_EQ(connection.sent.Count(), sent) << "nothing sent, not even a Cancel";
}

TEST_F(RequestManager, ARequestThatCannotBeSentFailsAtOnce) {
    connection.sent.SetResult(E_FAIL);
    auto request = manager->CreateRepair(0, {});
    EXPECT_TRUE(request->GetIsComplete());
    EXPECT_EQ(request->GetAutoLockResult()->GetHResult(), E_FAIL);
    connection.sent.SetResult(S_OK);
    Barrier();
}

TEST_F(RequestManager, APacketThatFailsToDecodeNeverStopsTheWorker) {
    auto first = manager->CreateGetVersion({});
    std::vector<BYTE> bad = QuorTest::KernelBytes([](auto& s) { s.GetVersionResponse(0, 0, 1); });
    bad.resize(16);
    Vorn::Bytes::StoreLE32(bad.data(), 16);
    Answer([](auto& s) { s.GetVersionResponse(0, 0, 1); });
    connection.Push(bad);  // the batch's last packet fails to decode
    first->WaitUntilComplete();
    Barrier();
    EXPECT_TRUE(log.HasError("TranslateAndDispatch failed.")) << log.All();
}

TEST_F(RequestManager, AListenerMayCancelItsOwnRequest) {
    auto listener = std::make_shared<ProgressRecorder>();
    auto update = manager->CreateUpdateProject("p", listener);
    const DWORD id = LastId();
    listener->onReport = [&] { update->Cancel(); };
    Answer([&](auto& s) {
        s.RequestProgress(0, id, 1, 0, 0, 0, 0, 0, Progress::OperationType(0), Progress::StepType(0), 0, 0,
                          "");
    });
    Answer([&](auto& s) { s.UpdateProjectResponse(0, id, E_ABORT, 0); });
    update->WaitUntilComplete();
    EXPECT_EQ(Cancels(), 1u);
    EXPECT_EQ(update->GetAutoLockResult()->GetHResult(), E_ABORT);
}

TEST_F(RequestManager, TerminationWithPacketsPendingDispatchesNothingAndWaitsForABusyListener) {
    // The worker is held inside a listener; meanwhile another response arrives and the manager is
    // destroyed. The worker must see the stop first and dispatch nothing more.
    std::mutex gateMutex;
    std::condition_variable gate;
    bool inside = false, release = false;
    auto listener = std::make_shared<ProgressRecorder>();
    listener->onReport = [&] {
        std::unique_lock<std::mutex> lock(gateMutex);
        inside = true;
        gate.notify_all();
        gate.wait(lock, [&] { return release; });
    };
    // Made before the worker is held: a factory waits for the manager's mutex, which the listener's
    // caller holds.
    auto other = manager->CreateGetVersion({});
    const DWORD otherId = LastId();
    other.reset();
    auto update = manager->CreateUpdateProject("p", listener);
    const DWORD id = LastId();
    Answer([&](auto& s) {
        s.RequestProgress(0, id, 1, 0, 0, 0, 0, 0, Progress::OperationType(0), Progress::StepType(0), 0, 0,
                          "");
    });
    {
        std::unique_lock<std::mutex> lock(gateMutex);
        gate.wait(lock, [&] { return inside; });
    }
    update.reset();
    Answer([&](auto& s) { s.GetVersionResponse(0, otherId, 1); });
    std::thread destroy([&] { manager.reset(); });
    // The destructor reports the worker that does not stop within its time; then it is let go.
    while (!log.Contains("Thread did not terminate"))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    {
        std::lock_guard<std::mutex> lock(gateMutex);
        release = true;
    }
    gate.notify_all();
    destroy.join();
    EXPECT_FALSE(log.Contains("no longer being tracked")) << log.All();
}

}  // namespace
