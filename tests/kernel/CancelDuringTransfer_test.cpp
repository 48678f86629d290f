// A Cancel sent while the kernel's job is held by a trickling content server (one byte every
// 0.9 s, above libcurl's own 1 byte/s low-speed rule) ends that transfer through the connection's
// progress call: the client is answered 0x80004004, the server sees its connection closed, and the
// kernel serves the next client.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "common/testing/LogCapture.h"
#include "foundation/ByteOrder.h"
#include "install/InstalledState.h"
#include "kernel/testing/KernelClient.h"
#include "kernel/testing/TestKernel.h"
#include "protocol/PacketType.h"
#include "tests/kit/ScriptedHttpServer.h"
#include "tests/kit/TempDir.h"

namespace {

using namespace Quor::OrvaneProtocol;
using QuorTest::KernelClient;
using QuorTest::RecordedCall;

constexpr DWORD kV1 = 0x01000001;  // 1.0.0.1

class CancelDuringTransfer : public ::testing::Test {
protected:
    void SetUp() override {
        QuorTest::UseOwnInstance();
        Quor::User::RegisterInstalledStateServices();
        ASSERT_TRUE(http.started());
        tree.WriteSystemConfig(http.baseUrl(), "/quor", "xx");
        kernel = std::make_unique<QuorTest::TestKernel>(QuorTest::TestKernel::Handlers(nullptr));
        ASSERT_EQ(S_OK, kernel->hr);
    }

    DWORD Id() { return ++m_LastId; }

    QuorTest::LogCapture quiet{Quor::Log::USER};
    QuorTest::QuorTree tree;
    QuorTest::ScriptedHttpServer http;
    std::unique_ptr<QuorTest::TestKernel> kernel;
    DWORD m_LastId = 0;
};

// The release manifest trickles: a transfer that reports to no progress listener of its own, so
// only the connection sees the job's cancel flag.
TEST_F(CancelDuringTransfer, CancelEndsATricklingDownloadAndTheNextClientIsServed) {
    const std::string manifest = "/quor/projects/alpha/releases/1.0.0.1/releasemanifest";
    http.SetResponse(manifest, {.body = std::string(30, 'm'), .trickleEvery = std::chrono::milliseconds(900)});
    KernelClient first(kernel->port);
    const DWORD install = Id();
    ASSERT_TRUE(first.Request([&](IAppToOrvane& s) { s.InstallProjectReleaseRequest(0, install, "alpha", kV1); }));
    ASSERT_TRUE(http.WaitForRequestsTo(manifest, 1)) << "the install never asked for its manifest";

    const auto sent = std::chrono::steady_clock::now();
    std::vector<BYTE> cancel(12);  // a bare Cancel header: length, request id, type
    Vorn::Bytes::StoreLE32(cancel.data(), 12);
    Vorn::Bytes::StoreLE32(cancel.data() + 4, install);
    Vorn::Bytes::StoreLE32(cancel.data() + 8, PACKET_TYPE_CANCEL);
    ASSERT_TRUE(first.Send(cancel));
    EXPECT_EQ(RecordedCall("InstallProjectReleaseResponse", 0, install).Result(static_cast<HRESULT>(0x80004004u)),
              first.Answer());
    const auto answered = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - sent);
    std::printf("Cancel answered after %lld ms\n", static_cast<long long>(answered.count()));
    RecordProperty("CancelAnsweredMilliseconds", static_cast<int>(answered.count()));
    EXPECT_TRUE(http.WaitForPeerCloses(1, std::chrono::seconds(5)))
        << "the trickling server still holds the kernel's connection";

    KernelClient second(kernel->port);
    const DWORD listed = Id();
    ASSERT_TRUE(
        second.Request([&](IAppToOrvane& s) { s.EnumerateInstalledProjectReleasesRequest(0, listed, "alpha"); }));
    EXPECT_EQ(RecordedCall("EnumerateInstalledProjectReleasesResponse", 0, listed).Result(S_OK).Versions({}),
              second.Answer());
}

}  // namespace
