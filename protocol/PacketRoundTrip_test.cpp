// Every message goes through its sender and back through its decoder: sizes, header words and
// every argument must survive.
#include <gtest/gtest.h>

#include <set>

#include "foundation/ByteOrder.h"
#include "protocol/ToAppDispatch.h"
#include "protocol/ToAppSend.h"
#include "protocol/ToOrvaneDispatch.h"
#include "protocol/ToOrvaneSend.h"
#include "protocol/testing/PacketCases.h"
#include "protocol/testing/RecordingAppToOrvane.h"
#include "protocol/testing/RecordingOrvaneToApp.h"
#include "protocol/testing/RecordingSendPacket.h"
#include "protocol/testing/TableRows.h"

namespace {

using namespace Quor::OrvaneProtocol;
using QuorTest::kDispatchRequester;
using QuorTest::kSendRequester;
using Vorn::Bytes::LoadLE32;
using Vorn::Bytes::StoreLE32;

// The same packet with garbage behind its last field, counted in its length word.
std::vector<BYTE> WithTrailingBytes(std::vector<BYTE> packet) {
    packet.insert(packet.end(), {0xAA, 0x00, 0xFF});
    StoreLE32(packet.data(), static_cast<DWORD>(packet.size()));
    return packet;
}

// The operation names of the samples, without their "Request" or "Response".
template <typename Case>
std::set<std::string> SampledRows(const std::vector<Case>& cases, const std::string& suffix) {
    std::set<std::string> rows;
    for (const Case& c : cases) {
        const std::string& operation = c.expected.operation;
        if (operation.size() > suffix.size() && operation.ends_with(suffix))
            rows.insert(operation.substr(0, operation.size() - suffix.size()));
    }
    return rows;
}

TEST(PacketRoundTrip, EveryRowOfTheTableHasASample) {
    const std::set<std::string> requests = SampledRows(QuorTest::RequestCases(), "Request");
    for (const std::string& row : QuorTest::RequestRows())
        EXPECT_TRUE(requests.count(row)) << "no request sample for " << row << " in protocol/testing/PacketCases.h";
    const std::set<std::string> responses = SampledRows(QuorTest::ResponseCases(), "Response");
    for (const std::string& row : QuorTest::ResponseRows())
        EXPECT_TRUE(responses.count(row)) << "no response sample for " << row << " in protocol/testing/PacketCases.h";
}

TEST(PacketRoundTrip, InstallProjectReleaseHasTheDocumentedBytes) {
    QuorTest::RecordingSendPacket transport;
    ToOrvane::Send(transport).InstallProjectReleaseRequest(0, 7, "abc", 0x01020304);
    const std::vector<BYTE> expected = {0x18, 0, 0, 0, 0x07, 0,    0,    0, 0x06, 0,    0,    0,
                                        0x04, 0, 0, 0, 0x61, 0x62, 0x63, 0, 0x04, 0x03, 0x02, 0x01};
    ASSERT_EQ(transport.Count(), 1u);
    EXPECT_EQ(transport.Packets()[0].connection, 0u);
    EXPECT_EQ(transport.Last(), expected);
}

TEST(PacketRoundTrip, EveryRequestSurvivesSendAndDispatch) {
    for (const QuorTest::RequestCase& c : QuorTest::RequestCases()) {
        SCOPED_TRACE(c.expected.operation + " id " + std::to_string(c.expected.requestId));
        QuorTest::RecordingSendPacket transport;
        ToOrvane::Send sender(transport);
        c.send(sender);
        ASSERT_EQ(transport.Count(), 1u);
        const auto packet = transport.Packets()[0];
        EXPECT_EQ(packet.connection, kSendRequester);
        ASSERT_EQ(packet.bytes.size(), c.size);
        EXPECT_EQ(LoadLE32(packet.bytes.data()), c.size);
        EXPECT_EQ(LoadLE32(packet.bytes.data() + 4), c.expected.requestId);
        EXPECT_EQ(LoadLE32(packet.bytes.data() + 8), c.type);

        for (const auto& bytes : {packet.bytes, WithTrailingBytes(packet.bytes)}) {
            QuorTest::RecordingAppToOrvane target;
            EXPECT_EQ(ToOrvane::TranslateAndDispatch(kDispatchRequester, static_cast<UINT>(bytes.size()),
                                                     bytes.data(), target),
                      S_OK);
            EXPECT_EQ(target.log.Calls(), std::vector<QuorTest::RecordedCall>{c.expected});
        }

        ToOrvane::PEEK_PACKET_DATA peek;
        EXPECT_EQ(ToOrvane::PeekPacket(c.size, packet.bytes.data(), peek), S_OK);
        EXPECT_EQ(peek.requestId, c.expected.requestId);
        EXPECT_EQ(peek.isCancel, c.type == PACKET_TYPE_CANCEL ? 1u : 0u);
    }
}

TEST(PacketRoundTrip, EveryResponseSurvivesSendAndDispatch) {
    for (const QuorTest::ResponseCase& c : QuorTest::ResponseCases()) {
        SCOPED_TRACE(c.expected.operation);
        QuorTest::RecordingSendPacket transport;
        ToApp::Send sender(transport);
        c.send(sender);
        ASSERT_EQ(transport.Count(), 1u);
        const auto packet = transport.Packets()[0];
        EXPECT_EQ(packet.connection, kSendRequester);
        ASSERT_EQ(packet.bytes.size(), c.size);
        EXPECT_EQ(LoadLE32(packet.bytes.data()), c.size);
        EXPECT_EQ(LoadLE32(packet.bytes.data() + 4), c.type);
        EXPECT_EQ(LoadLE32(packet.bytes.data() + 8), c.expected.requestId);
        EXPECT_EQ(LoadLE32(packet.bytes.data() + 12), static_cast<DWORD>(c.expected.hr));

        for (const auto& bytes : {packet.bytes, WithTrailingBytes(packet.bytes)}) {
            QuorTest::RecordingOrvaneToApp target;
            EXPECT_EQ(ToApp::TranslateAndDispatch(kDispatchRequester, static_cast<UINT>(bytes.size()),
                                                  bytes.data(), target),
                      S_OK);
            EXPECT_EQ(target.log.Calls(), std::vector<QuorTest::RecordedCall>{c.expected});
        }
    }
}

TEST(PacketRoundTrip, FieldsBehindAFiveByteNameStartUnaligned) {
    QuorTest::RecordingSendPacket transport;
    ToOrvane::Send(transport).InstallProjectReleaseRequest(0, 1, "abcde", 0x11223344);
    EXPECT_EQ(LoadLE32(transport.Last().data() + 22), 0x11223344u);

    transport.Clear();
    ToApp::Send(transport).LockFileResponse(0, 1, S_OK, "abc", 0x10, 0x20, 0x30);
    const auto bytes = transport.Last();
    EXPECT_EQ(LoadLE32(bytes.data() + 21 + 3), 0x10u);
    EXPECT_EQ(LoadLE32(bytes.data() + 25 + 3), 0x20u);
    EXPECT_EQ(LoadLE32(bytes.data() + 29 + 3), 0x30u);
}

TEST(PacketRoundTrip, ReadStringArrayStopsAtTheBytesGiven) {
    const std::vector<BYTE> two = {2, 0, 0, 0, 2, 0, 0, 0, 'a', 0, 1, 0, 0, 0, 0};
    std::vector<std::string> out = {"stale"};
    EXPECT_TRUE(ToApp::ReadStringArray(two.data(), two.size(), out));
    EXPECT_EQ(out, (std::vector<std::string>{"a", ""}));
    EXPECT_FALSE(ToApp::ReadStringArray(two.data(), two.size() - 1, out));
    EXPECT_TRUE(out.empty());
}

}  // namespace
