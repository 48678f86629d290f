// The request server and its loopback transport, through raw sockets: framing, the one-job-at-a-
// time schedule, cancels, ended connections, Terminate and shutdown. Jobs are held by the scripted
// engine ("block..." projects wait for the test or the cancel flag).
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>

#include <thread>

#include "common/testing/LogCapture.h"
#include "foundation/WaitResult.h"
#include "kernel/RecvThread.h"
#include "kernel/WinSockManager.h"
#include "kernel/testing/KernelClient.h"
#include "kernel/testing/ScriptedEngine.h"
#include "kernel/testing/TestKernel.h"
#include "platform/ManualClock.h"
#include "protocol/PacketType.h"
#include "tests/kit/LoopbackSocket.h"
#include "tests/kit/ObservedState.h"
#include "tests/kit/TempDir.h"

namespace {

using namespace Quor::OrvaneProtocol;
using QuorTest::KernelClient;
using QuorTest::RawRequest;
using QuorTest::RequestBytes;

std::vector<BYTE> UpdateProject(DWORD id, const std::string& project) {
    return RequestBytes([&](IAppToOrvane& s) { s.UpdateProjectRequest(0, id, project); });
}
std::vector<BYTE> GetVersion(DWORD id) {
    return RawRequest(12, id, PACKET_TYPE_GET_VERSION);
}
std::vector<BYTE> Cancel(DWORD id) {
    return RawRequest(12, id, PACKET_TYPE_CANCEL);
}

class RequestServer : public ::testing::Test {
protected:
    void SetUp() override {
        QuorTest::UseOwnInstance();
        QuorTest::WriteFile(tree.system() + "/system.cfg",
                            "DownloadURL = 127.0.0.1:1\nDownloadPath = /quor\n");
    }
    void Start(DWORD giveUpMs = 30000,
               DWORD sendTimeoutMs = Quor::Orvane::KernelThreadOptions{}.sendTimeoutMs) {
        auto options = QuorTest::TestKernel::Handlers(engine);
        options.jobGiveUpMs = giveUpMs;
        options.sendTimeoutMs = sendTimeoutMs;
        kernel = std::make_unique<QuorTest::TestKernel>(options);
        ASSERT_EQ(S_OK, kernel->hr);
    }
    uint16_t Port() const { return kernel->port; }
    // Waits for the answer of request `id` on `client`, skipping progress reports.
    static QuorTest::RecordedCall AnswerOf(KernelClient& client) {
        auto call = client.Answer();
        EXPECT_TRUE(call.has_value()) << "no answer arrived";
        return call.value_or(QuorTest::RecordedCall());
    }

    QuorTest::QuorTree tree;
    std::shared_ptr<QuorTest::ScriptedEngine> engine = std::make_shared<QuorTest::ScriptedEngine>();
    // Made by the test that needs it; declared first, so that it outlives the kernel.
    std::unique_ptr<Quor::Platform::ManualClock> clock;
    std::unique_ptr<QuorTest::TestKernel> kernel;
};

TEST_F(RequestServer, GetVersionOnARawSocketIsTwentyBytesWithVersionZeroOnLoopbackOnly) {
    Start();
    KernelClient client(Port());
    ASSERT_TRUE(client.Connected());
    ASSERT_TRUE(client.Send(GetVersion(7)));
    const std::vector<BYTE> packet = client.ReadPacket();
    ASSERT_EQ(20u, packet.size());
    EXPECT_EQ(0u, Vorn::Bytes::LoadLE32(packet.data() + 4));   // type
    EXPECT_EQ(7u, Vorn::Bytes::LoadLE32(packet.data() + 8));   // request id
    EXPECT_EQ(0u, Vorn::Bytes::LoadLE32(packet.data() + 12));  // result word
    EXPECT_EQ(0u, Vorn::Bytes::LoadLE32(packet.data() + 16));  // version

    // Bound to 127.0.0.1 itself: another loopback address finds nobody listening.
    const int other = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(Port());
    address.sin_addr.s_addr = htonl(0x7F000002);
    EXPECT_NE(0, ::connect(other, reinterpret_cast<sockaddr*>(&address), sizeof address));
    ::close(other);
}

TEST_F(RequestServer, ASecondServerOfOneInstanceIsAlreadyRunning) {
    Start();
    QuorTest::LogCapture log;
    QuorTest::TestKernel second(QuorTest::TestKernel::Handlers(engine));
    EXPECT_EQ(E_FAIL, second.hr);
    EXPECT_TRUE(log.HasError("Already running.")) << log.All();
    // The first one still serves.
    KernelClient client(Port());
    ASSERT_TRUE(client.Send(GetVersion(1)));
    EXPECT_EQ("GetVersionResponse", AnswerOf(client).operation);
}

TEST_F(RequestServer, ATakenPortFailsToStartTheNetwork) {
    QuorTest::LogCapture log;
    std::string error;
    QuorTest::UniqueFd taken = QuorTest::ListenLoopback(0, &error);
    ASSERT_TRUE(taken.valid()) << error;
    Quor::Orvane::KernelThreadOptions options = QuorTest::TestKernel::Handlers(engine);
    options.port = QuorTest::LocalPort(taken.get());
    HRESULT hr = S_OK;
    Quor::Orvane::KernelThread server(Quor::Common::ThreadPool::CreatePool(0, 0), options, hr);
    EXPECT_TRUE(FAILED(hr));
    EXPECT_TRUE(log.HasError("Sockets::Bind failed")) << log.All();
    EXPECT_TRUE(log.HasError("Failed to start network.")) << log.All();
    EXPECT_FALSE(server.GetThread());
}

TEST_F(RequestServer, RequestsAreCutFromTheStreamByTheirLength) {
    Start();
    KernelClient client(Port());
    const int on = 1;
    ::setsockopt(client.Fd(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);

    // One request in three sends.
    const std::vector<BYTE> request = UpdateProject(1, "split");
    // Each part is read by the kernel before the next is sent.
    ASSERT_TRUE(client.Send({request.begin(), request.begin() + 3}));
    ASSERT_TRUE(QuorTest::AwaitPeerReadAll(client.Fd())) << "the kernel did not read the first part";
    ASSERT_TRUE(client.Send({request.begin() + 3, request.begin() + 14}));
    ASSERT_TRUE(QuorTest::AwaitPeerReadAll(client.Fd())) << "the kernel did not read the second part";
    ASSERT_TRUE(client.Send({request.begin() + 14, request.end()}));
    auto answer = AnswerOf(client);
    EXPECT_EQ("UpdateProjectResponse", answer.operation);
    EXPECT_EQ(1u, answer.requestId);
    EXPECT_EQ(S_OK, answer.hr);

    // Two requests in one send.
    ASSERT_TRUE(client.Send(QuorTest::Join(GetVersion(2), GetVersion(3))));
    EXPECT_EQ(2u, AnswerOf(client).requestId);
    EXPECT_EQ(3u, AnswerOf(client).requestId);

    // A request and its Cancel in one send: it never runs and is answered as cancelled.
    ASSERT_TRUE(client.Send(QuorTest::Join(UpdateProject(4, "never"), Cancel(4))));
    answer = AnswerOf(client);
    EXPECT_EQ("UpdateProjectResponse", answer.operation);
    EXPECT_EQ(4u, answer.requestId);
    EXPECT_EQ(E_ABORT, answer.hr);
    EXPECT_EQ((std::vector<std::string>{"UpdateProject split"}), engine->Calls());
}

TEST_F(RequestServer, ALengthOutOfRangeEndsThatConnectionOnly) {
    Start();
    KernelClient bystander(Port());
    for (const DWORD length : {0u, 11u, 4097u, 0xFFFFFFFFu}) {
        KernelClient client(Port());
        ASSERT_TRUE(client.Send(RawRequest(length, 1, PACKET_TYPE_GET_VERSION)));
        EXPECT_TRUE(client.WaitClosed()) << "length " << length;
    }
    ASSERT_TRUE(bystander.Send(GetVersion(9)));
    EXPECT_EQ(9u, AnswerOf(bystander).requestId);
}

TEST_F(RequestServer, ARequestThatDoesNotDecodeIsAnsweredFailedWithItsId) {
    Start();
    KernelClient client(Port());
    // Enumerate releases of a project, but the project string is missing.
    ASSERT_TRUE(client.Send(RawRequest(12, 44, PACKET_TYPE_ENUM_AVAIL_PROJECT_RELEASES)));
    const auto answer = AnswerOf(client);
    EXPECT_EQ("EnumerateAvailableProjectReleasesResponse", answer.operation);
    EXPECT_EQ(44u, answer.requestId);
    EXPECT_EQ(E_FAIL, answer.hr);
    EXPECT_TRUE(answer.versions.empty());
}

TEST_F(RequestServer, AnAnswerThatCannotBeWrittenClosesThatConnectionOnly) {
    QuorTest::LogCapture log(Quor::Log::ERROR);
    engine->installedProjects.assign(1000, std::string(1000, 'p'));  // about 1 MB per answer
    Start(30000, 200);                                               // a blocked write gives up after 200 ms
    KernelClient bystander(Port());
    KernelClient reader(Port());  // asks for far more than the socket buffers hold, and reads nothing
    for (DWORD id = 0; id < 40; ++id)
        ASSERT_TRUE(reader.Request([&](IAppToOrvane& s) { s.EnumerateInstalledProjectsRequest(0, id); }));
    bool gaveUp = false;
    for (int round = 0; round < 100000 && !gaveUp; ++round) {
        ASSERT_TRUE(bystander.Send(GetVersion(1)));
        ASSERT_EQ(1u, AnswerOf(bystander).requestId) << "the bystander is served meanwhile";
        gaveUp = log.Contains("send failed.") || log.Contains("Failed to send all data.");
    }
    ASSERT_TRUE(gaveUp) << "no write gave up";
    size_t answers = 0;
    while (!reader.ReadPacket().empty()) ++answers;  // ends with the connection
    EXPECT_LT(answers, 40u);
    ASSERT_TRUE(bystander.Send(GetVersion(2)));
    EXPECT_EQ(2u, AnswerOf(bystander).requestId);
}

TEST_F(RequestServer, TwoClientsRunInTurn) {
    Start();
    KernelClient a(Port());
    KernelClient b(Port());
    ASSERT_TRUE(a.Send(UpdateProject(1, "blockA")));
    ASSERT_TRUE(engine->WaitStarted("blockA"));
    ASSERT_TRUE(b.Send(UpdateProject(1, "blockB")));
    ASSERT_TRUE(b.Send(GetVersion(2)));
    engine->Release("blockA");
    EXPECT_EQ(S_OK, AnswerOf(a).hr);
    ASSERT_TRUE(engine->WaitStarted("blockB"));
    engine->Release("blockB");
    EXPECT_EQ("UpdateProjectResponse", AnswerOf(b).operation);
    EXPECT_EQ("GetVersionResponse", AnswerOf(b).operation);
    EXPECT_EQ(1, engine->MaxRunning());
}

TEST_F(RequestServer, ACancelRemovesEveryQueuedCopyOfItsIdAndKeepsTheRestInOrder) {
    Start();
    KernelClient a(Port());
    KernelClient b(Port());
    ASSERT_TRUE(a.Send(UpdateProject(1, "blockA")));
    ASSERT_TRUE(engine->WaitStarted("blockA"));
    ASSERT_TRUE(b.Send(UpdateProject(5, "first")));
    ASSERT_TRUE(b.Send(UpdateProject(6, "kept")));
    ASSERT_TRUE(b.Send(UpdateProject(5, "copy")));
    ASSERT_TRUE(b.Send(UpdateProject(7, "last")));
    ASSERT_TRUE(a.Send(Cancel(5)));  // a foreign Cancel changes nothing
    ASSERT_TRUE(b.Send(Cancel(5)));
    for (int copy = 0; copy < 2; ++copy) {
        const auto answer = AnswerOf(b);
        EXPECT_EQ(5u, answer.requestId);
        EXPECT_EQ(E_ABORT, answer.hr);
    }
    engine->Release("blockA");
    EXPECT_EQ(S_OK, AnswerOf(a).hr);
    EXPECT_EQ(6u, AnswerOf(b).requestId);
    EXPECT_EQ(7u, AnswerOf(b).requestId);
    EXPECT_EQ((std::vector<std::string>{"UpdateProject blockA", "UpdateProject kept", "UpdateProject last"}),
              engine->Calls());
}

TEST_F(RequestServer, ACancelOfTheRunningJobIsAnsweredCancelledAfterItsProgress) {
    Start();
    KernelClient a(Port());
    ASSERT_TRUE(a.Send(UpdateProject(3, "blockA")));
    ASSERT_TRUE(engine->WaitStarted("blockA"));
    ASSERT_TRUE(a.Send(Cancel(3)));
    auto first = a.Next();
    ASSERT_TRUE(first);
    EXPECT_EQ("RequestProgress", first->operation);
    EXPECT_EQ(3u, first->requestId);
    const auto answer = AnswerOf(a);
    EXPECT_EQ("UpdateProjectResponse", answer.operation);
    EXPECT_EQ(E_ABORT, answer.hr);
    EXPECT_EQ(0xFFFFFFFFu, answer.words.at(0));
}

TEST_F(RequestServer, AForeignCancelLeavesTheRunningJobAlone) {
    Start();
    KernelClient a(Port());
    KernelClient b(Port());
    ASSERT_TRUE(a.Send(UpdateProject(3, "blockA")));
    ASSERT_TRUE(engine->WaitStarted("blockA"));
    ASSERT_TRUE(b.Send(Cancel(3)));
    ASSERT_TRUE(b.Send(GetVersion(4)));  // queued behind the job: the Cancel was handled before it
    engine->Release("blockA");
    const auto answer = AnswerOf(a);
    EXPECT_EQ(S_OK, answer.hr);
    EXPECT_EQ(0x01020304u, answer.words.at(0));
    EXPECT_EQ(4u, AnswerOf(b).requestId);
}

TEST_F(RequestServer, AClosingClientsJobIsCancelledAndItsQueueDropped) {
    Start();
    {
        KernelClient a(Port());
        ASSERT_TRUE(a.Send(UpdateProject(1, "blockA")));
        ASSERT_TRUE(engine->WaitStarted("blockA"));
        ASSERT_TRUE(a.Send(UpdateProject(2, "dropped")));
    }
    KernelClient b(Port());
    ASSERT_TRUE(b.Send(UpdateProject(1, "after")));
    EXPECT_EQ(S_OK, AnswerOf(b).hr);
    EXPECT_EQ((std::vector<std::string>{"UpdateProject blockA", "cancelled blockA", "UpdateProject after"}),
              engine->Calls());
}

TEST_F(RequestServer, ALateAnswerForAClosedClientNeverReachesTheNextClient) {
    QuorTest::LogCapture log(Quor::Log::ERROR);
    Start(50);  // a job that ignores its cancel is given up after 50 ms
    {
        KernelClient a(Port());
        ASSERT_TRUE(a.Send(UpdateProject(77, "stubbornA")));
        ASSERT_TRUE(engine->WaitStarted("stubbornA"));
    }
    // B most likely gets the descriptor A had in the kernel.
    KernelClient b(Port());
    ASSERT_TRUE(b.Send(GetVersion(1)));
    for (int wait = 0; wait < 20000 && !log.Has("Thread did not terminate, calling Termiante"); ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(log.Has("Thread did not terminate, calling Termiante")) << "the job was not given up";
    engine->Release("stubbornA");  // A's job answers now, for a connection that has ended
    const auto answer = AnswerOf(b);
    EXPECT_EQ("GetVersionResponse", answer.operation);
    EXPECT_EQ(1u, answer.requestId);
    ASSERT_TRUE(b.Send(GetVersion(2)));
    EXPECT_EQ(2u, AnswerOf(b).requestId);
}

TEST_F(RequestServer, TerminateIsAnsweredThenEveryConnectionCloses) {
    Start();
    KernelClient a(Port());
    KernelClient b(Port());
    ASSERT_TRUE(b.Send(GetVersion(1)));
    ASSERT_EQ(1u, AnswerOf(b).requestId);
    ASSERT_TRUE(a.Send(RawRequest(12, 9, PACKET_TYPE_TERMINATE)));
    const auto answer = AnswerOf(a);
    EXPECT_EQ("TerminateResponse", answer.operation);
    EXPECT_EQ(S_OK, answer.hr);
    EXPECT_TRUE(a.WaitClosed());
    EXPECT_TRUE(b.WaitClosed());
    ASSERT_EQ(Vorn::WAIT_OBJECT_0, Vorn::threadJoin(kernel->server->GetThread(), Vorn::INFINITE));
    KernelClient late(Port());
    EXPECT_FALSE(late.Connected());
}

TEST_F(RequestServer, DestroyingTheServerCancelsTheRunningJobAndWaitsForIt) {
    Start();
    KernelClient a(Port());
    KernelClient b(Port());
    ASSERT_TRUE(a.Send(UpdateProject(1, "blockA")));
    ASSERT_TRUE(engine->WaitStarted("blockA"));
    kernel.reset();
    EXPECT_EQ((std::vector<std::string>{"UpdateProject blockA", "cancelled blockA"}), engine->Calls());
    EXPECT_TRUE(a.WaitClosed());
    EXPECT_TRUE(b.WaitClosed());
}

TEST_F(RequestServer, ManyClientsAtOnceAreAllServed) {
    Start();
    std::vector<std::unique_ptr<KernelClient>> clients;
    for (int i = 0; i < 150; ++i) {
        clients.push_back(std::make_unique<KernelClient>(Port()));
        ASSERT_TRUE(clients.back()->Connected());
    }
    for (size_t i = 0; i < clients.size(); ++i)
        ASSERT_TRUE(clients[i]->Send(GetVersion(static_cast<DWORD>(i))));
    for (size_t i = 0; i < clients.size(); ++i) EXPECT_EQ(i, AnswerOf(*clients[i]).requestId);
}

TEST_F(RequestServer, ClientsTakeTurnsSoAFloodDelaysAnotherClientByOneRequest) {
    Start();
    KernelClient holder(Port());
    ASSERT_TRUE(holder.Send(UpdateProject(1, "blockA")));
    ASSERT_TRUE(engine->WaitStarted("blockA"));
    // While the server is held: 200 requests of one client, then one of another. A request
    // cancelled at the end of each burst is answered once the burst is queued.
    KernelClient flood(Port());
    std::vector<BYTE> burst;
    for (DWORD id = 1; id <= 200; ++id) burst = QuorTest::Join(burst, UpdateProject(id, "flood"));
    ASSERT_TRUE(flood.Send(QuorTest::Join(QuorTest::Join(burst, UpdateProject(999, "x")), Cancel(999))));
    ASSERT_EQ(999u, AnswerOf(flood).requestId);
    KernelClient fresh(Port());
    ASSERT_TRUE(fresh.Send(
        QuorTest::Join(QuorTest::Join(UpdateProject(7, "fresh"), UpdateProject(8, "y")), Cancel(8))));
    ASSERT_EQ(8u, AnswerOf(fresh).requestId);

    engine->Release("blockA");
    EXPECT_EQ(7u, AnswerOf(fresh).requestId);
    const std::vector<std::string> calls = engine->Calls();
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(
        (std::vector<std::string>{"UpdateProject blockA", "UpdateProject flood", "UpdateProject fresh"}),
        std::vector<std::string>(calls.begin(), calls.begin() + 3))
        << "the fresh client waited for more than one request of the flooding one";
}

TEST_F(RequestServer, AClientThatDoesNotReadLosesItsConnectionWhileAFreshClientIsAnswered) {
    clock = std::make_unique<Quor::Platform::ManualClock>();
    engine->installedProjects.assign(1000, std::string(1000, 'p'));  // about 1 MB per answer
    Start();
    KernelClient flood(Port());  // asks for far more than the socket buffers hold, and reads nothing
    std::vector<BYTE> burst;
    for (DWORD id = 0; id < 40; ++id)
        burst = QuorTest::Join(
            burst, RequestBytes([&](IAppToOrvane& s) { s.EnumerateInstalledProjectsRequest(0, id); }));
    ASSERT_TRUE(flood.Send(burst));
    KernelClient fresh(Port());
    ASSERT_TRUE(fresh.Send(GetVersion(5)));

    ASSERT_TRUE(clock->AwaitWaitersFor(1, 20000)) << "no answer waits for the client that does not read";
    clock->AdvanceMilliseconds(Quor::Orvane::KernelThreadOptions{}.sendTimeoutMs);
    const auto answer = fresh.Answer();
    ASSERT_TRUE(answer.has_value())
        << "the fresh client was not answered while the other one held its connection";
    EXPECT_EQ("GetVersionResponse", answer->operation);
    EXPECT_EQ(5u, answer->requestId);
    size_t answers = 0;
    while (!flood.ReadPacket().empty()) ++answers;  // what the socket held, then the end of the connection
    EXPECT_LT(answers, 40u) << "the connection that did not read was kept";
    EXPECT_TRUE(flood.WaitClosed());
}

TEST_F(RequestServer, ConnectionsBeyondTheCapAreClosedAtAccept) {
    Start();
    std::vector<std::unique_ptr<KernelClient>> clients;
    for (size_t i = 0; i < Quor::Orvane::WinSock::Manager::kMaxConnections; ++i) {
        clients.push_back(std::make_unique<KernelClient>(Port()));
        ASSERT_TRUE(clients.back()->Connected()) << "client " << i;
    }
    // Each is served, so each was accepted before the next one.
    for (size_t i = 0; i < clients.size(); ++i) {
        ASSERT_TRUE(clients[i]->Send(GetVersion(static_cast<DWORD>(i))));
        ASSERT_EQ(i, AnswerOf(*clients[i]).requestId);
    }
    QuorTest::LogCapture log(Quor::Log::ERROR);
    KernelClient beyond(Port());
    ASSERT_TRUE(beyond.Connected());
    EXPECT_TRUE(beyond.WaitClosed()) << "a connection beyond the cap was kept";
    EXPECT_TRUE(log.HasError("256 connections are open, closing a new one (1 in a row).")) << log.All();

    // Those within the cap are still served, and one that leaves makes room for one more.
    ASSERT_TRUE(clients.back()->Send(GetVersion(1)));
    EXPECT_EQ(1u, AnswerOf(*clients.back()).requestId);
    clients.front().reset();
    bool admitted = false;
    for (int attempt = 0; attempt < 10000 && !admitted; ++attempt) {
        KernelClient next(Port());  // closed at once until the kernel has seen the other one leave
        admitted = next.Send(GetVersion(2)) && next.Answer().has_value();
    }
    EXPECT_TRUE(admitted) << "no room was made by a client that left";
}

TEST_F(RequestServer, AConnectionThatLeavesARequestHalfSentIsClosedAfterTheLimit) {
    clock = std::make_unique<Quor::Platform::ManualClock>();
    Start();
    KernelClient quiet(Port());  // connected, nothing sent: no limit applies
    KernelClient half(Port());
    const std::vector<BYTE> request = UpdateProject(1, "never");
    ASSERT_TRUE(half.Send({request.begin(), request.begin() + 5}));

    ASSERT_TRUE(clock->AwaitWaitersFor(1, 20000)) << "nothing waits with a limit for the rest of the request";
    clock->AdvanceMilliseconds(Quor::Orvane::WinSock::RecvThread::kPartLimitMs);
    EXPECT_TRUE(half.WaitClosed()) << "the half-sent request kept its connection";
    ASSERT_TRUE(quiet.Send(GetVersion(3)));
    EXPECT_EQ(3u, AnswerOf(quiet).requestId);
    EXPECT_TRUE(engine->Calls().empty());
}

}  // namespace
