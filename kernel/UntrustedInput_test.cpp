// Any local process can connect to the kernel: malformed, truncated, random and abandoned input
// must end at most the connection that sent it, and the kernel must go on serving everyone else.
// Meant to run under AddressSanitizer and UndefinedBehaviorSanitizer as well.
#include <gtest/gtest.h>

#include <random>
#include <thread>

#include "kernel/testing/KernelClient.h"
#include "kernel/testing/TestKernel.h"
#include "protocol/PacketType.h"
#include "tests/kit/TempDir.h"

namespace {

using namespace Quor::OrvaneProtocol;
using QuorTest::KernelClient;
using QuorTest::RawRequest;

std::vector<BYTE> Framed(DWORD id, DWORD type, const std::vector<BYTE>& body) {
    return RawRequest(static_cast<DWORD>(12 + body.size()), id, type, body);
}
std::vector<BYTE> Text(const std::string& text, DWORD length) {
    std::vector<BYTE> bytes(4 + text.size());
    Vorn::Bytes::StoreLE32(bytes.data(), length);
    std::copy(text.begin(), text.end(), bytes.begin() + 4);
    return bytes;
}

// Reads and drops whatever the kernel sends on one connection until it closes.
class Drain {
public:
    explicit Drain(KernelClient& client)
        : m_Thread([&client] {
              while (!client.ReadPacket(60000).empty()) {
              }
          }) {}
    ~Drain() { m_Thread.join(); }

private:
    std::thread m_Thread;
};

class UntrustedInput : public ::testing::Test {
protected:
    void SetUp() override {
        QuorTest::UseOwnInstance();
        QuorTest::WriteFile(tree.system() + "/system.cfg",
                            "DownloadURL = 127.0.0.1:1\nDownloadPath = /quor\nRegion = us\n");
        kernel = std::make_unique<QuorTest::TestKernel>(QuorTest::TestKernel::Handlers(nullptr));
        ASSERT_EQ(S_OK, kernel->hr);
        throughout = std::make_unique<KernelClient>(kernel->port);
        ASSERT_TRUE(throughout->Send(RawRequest(12, 1, PACKET_TYPE_GET_VERSION)));
        ASSERT_EQ(1u, throughout->Answer().value_or(QuorTest::RecordedCall()).requestId);
    }
    // After each attack: a fresh client and the one connected throughout are both answered.
    void ExpectStillServing(const std::string& after) {
        KernelClient fresh(kernel->port);
        ASSERT_TRUE(fresh.Send(RawRequest(12, 2, PACKET_TYPE_GET_VERSION))) << after;
        EXPECT_EQ(2u, fresh.Answer().value_or(QuorTest::RecordedCall()).requestId) << after;
        ASSERT_TRUE(throughout->Send(RawRequest(12, ++m_Id, PACKET_TYPE_GET_VERSION))) << after;
        EXPECT_EQ(m_Id, throughout->Answer().value_or(QuorTest::RecordedCall()).requestId) << after;
    }

    QuorTest::QuorTree tree;
    std::unique_ptr<QuorTest::TestKernel> kernel;
    std::unique_ptr<KernelClient> throughout;
    DWORD m_Id = 100;
};

TEST_F(UntrustedInput, MalformedRequestsHurtNobodyElse) {
    const std::vector<std::pair<std::string, std::vector<BYTE>>> attacks = {
        {"fewer than 12 bytes", {8, 0, 0, 0, 1, 0, 0, 0}},
        {"length 0", RawRequest(0, 1, 0)},
        {"length 11", RawRequest(11, 1, 0)},
        {"length 4097", RawRequest(4097, 1, 0)},
        {"length 0xFFFFFFFF", RawRequest(0xFFFFFFFF, 1, 0)},
        {"type 27", RawRequest(12, 1, 27)},
        {"type 0xFFFFFFFF", RawRequest(12, 1, 0xFFFFFFFF)},
        {"string of length 0", Framed(1, PACKET_TYPE_ENUM_INSTALLED_PROJECT_RELEASES, Text("", 0))},
        {"string past the end", Framed(1, PACKET_TYPE_ENUM_INSTALLED_PROJECT_RELEASES, Text("abc", 1000))},
        {"string without zero byte", Framed(1, PACKET_TYPE_ENUM_INSTALLED_PROJECT_RELEASES, Text("abc", 3))},
        {"string length 0xFFFFFFFF", Framed(1, PACKET_TYPE_LOCK_FILE, Text("abc", 0xFFFFFFFF))},
        {"type 24 without flags",
         Framed(1, PACKET_TYPE_INSTALL_SOLUTION_RELEASE_BY_PROJECT_VERSION,
                QuorTest::Join(QuorTest::Join(Text(std::string("s\0", 2), 2), Text(std::string("v\0", 2), 2)),
                               Text(std::string("c\0", 2), 2)))},
        {"trailing garbage", Framed(1, PACKET_TYPE_GET_VERSION, {1, 2, 3, 4, 5, 6, 7})},
        {"word cut in the middle", Framed(1, PACKET_TYPE_UNLOCK_FILE, {1, 2})},
        {"cancel of an unknown id", RawRequest(12, 999, PACKET_TYPE_CANCEL)},
        {"repeated cancels",
         QuorTest::Join(RawRequest(12, 5, PACKET_TYPE_CANCEL), RawRequest(12, 5, PACKET_TYPE_CANCEL))},
    };
    for (const auto& [name, bytes] : attacks) {
        KernelClient client(kernel->port);
        ASSERT_TRUE(client.Send(bytes)) << name;
        ASSERT_TRUE(client.Send(RawRequest(12, 77, PACKET_TYPE_GET_VERSION))) << name;
        // Either the connection ends, or it is still served in order.
        for (auto answer = client.Answer(); answer; answer = client.Answer())
            if (answer->operation == "GetVersionResponse" && answer->requestId == 77) break;
        ExpectStillServing(name);
    }
    // A foreign cancel of the connection that was there throughout changes nothing for it.
    KernelClient other(kernel->port);
    ASSERT_TRUE(other.Send(RawRequest(12, m_Id + 1, PACKET_TYPE_CANCEL)));
    ExpectStillServing("foreign cancel");
}

TEST_F(UntrustedInput, TenThousandRandomFrames) {
    std::mt19937 random(12345);
    KernelClient client(kernel->port);
    {
        Drain drain(client);
        for (int frame = 0; frame < 10000; ++frame) {
            DWORD type = random() % 28;
            if (type == PACKET_TYPE_TERMINATE || type == PACKET_TYPE_SET_LOG_PARAMETERS) type = 27;
            std::vector<BYTE> body(random() % 64);
            for (BYTE& byte : body) byte = static_cast<BYTE>(random() % 4 == 0 ? random() : random() % 8);
            ASSERT_TRUE(client.Send(Framed(random(), type, body))) << "frame " << frame;
        }
        ASSERT_TRUE(client.Send(RawRequest(12, 1, PACKET_TYPE_GET_VERSION)));
        ExpectStillServing("random frames");
        ::shutdown(client.Fd(), SHUT_WR);  // the kernel closes its side in turn, which ends the drain
    }
    ExpectStillServing("random frames, connection closed");
}

TEST_F(UntrustedInput, TwoHundredConnectionsOpenedAndDropped) {
    std::mt19937 random(777);
    for (int round = 0; round < 200; ++round) {
        KernelClient client(kernel->port);
        ASSERT_TRUE(client.Connected()) << "round " << round;
        switch (round % 4) {
            case 0:
                break;  // connect and close
            case 1: {   // close in the middle of a request
                const auto request =
                    QuorTest::RequestBytes([](IAppToOrvane& s) { s.UpdateProjectRequest(0, 1, "game"); });
                ASSERT_TRUE(client.Send({request.begin(), request.begin() + random() % request.size()}));
                break;
            }
            case 2:  // close with requests queued or running, answers unread
                for (DWORD id = 0; id < 5; ++id)
                    ASSERT_TRUE(client.Send(QuorTest::RequestBytes([&](IAppToOrvane& s) {
                        s.EnumerateAvailableProjectReleasesRequest(0, id, "game");
                    })));
                break;
            default:  // close right after a request that runs at once
                ASSERT_TRUE(client.Send(RawRequest(12, 1, PACKET_TYPE_GET_VERSION)));
                break;
        }
    }
    ExpectStillServing("connections dropped");
}

}  // namespace
