// Decoders and the peek refuse what does not hold a whole, well-formed packet, without calling
// the target and without reading outside the bytes handed in.
#include <gtest/gtest.h>

#include <algorithm>

#include "common/testing/LogCapture.h"
#include "foundation/ByteOrder.h"
#include "protocol/PacketType.h"
#include "protocol/ToAppDispatch.h"
#include "protocol/ToOrvaneDispatch.h"
#include "protocol/testing/PacketBytes.h"
#include "protocol/testing/RecordingAppToOrvane.h"
#include "protocol/testing/RecordingOrvaneToApp.h"

namespace {

using namespace Quor::OrvaneProtocol;
using Vorn::Bytes::StoreLE32;

using Bytes = QuorTest::PacketBytes;
Bytes Request(DWORD type, DWORD id = 1) {
    return Bytes().W(0).W(id).W(type);
}
Bytes Response(DWORD type, DWORD id = 1) {
    return Bytes().W(0).W(type).W(id).W(0);
}

HRESULT DispatchRequest(const std::vector<BYTE>& p, QuorTest::RecordingAppToOrvane& target) {
    return ToOrvane::TranslateAndDispatch(0, static_cast<UINT>(p.size()), p.data(), target);
}
HRESULT DispatchResponse(const std::vector<BYTE>& p, QuorTest::RecordingOrvaneToApp& target) {
    return ToApp::TranslateAndDispatch(0, static_cast<UINT>(p.size()), p.data(), target);
}

TEST(PacketChecks, ShortPacketsAndUnknownTypesFailWithoutAWord) {
    struct Case {
        const char* what;
        bool request;
        std::vector<BYTE> bytes;
    };
    std::vector<BYTE> elevenBytes = Request(PACKET_TYPE_GET_VERSION).Done();
    elevenBytes.resize(11);
    StoreLE32(elevenBytes.data(), 11);
    std::vector<BYTE> fifteenBytes = Response(PACKET_TYPE_TERMINATE).Done();
    fifteenBytes.resize(15);
    StoreLE32(fifteenBytes.data(), 15);
    const Case cases[] = {
        {"11-byte request", true, elevenBytes},
        {"15-byte response", false, fifteenBytes},
        {"type 27 request", true, Request(27).Done()},
        {"type 27 response", false, Response(27).Done()},
        {"type 0xFFFFFFFF response", false, Response(0xFFFFFFFF).Done()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QuorTest::LogCapture log;
        QuorTest::RecordingAppToOrvane requests;
        QuorTest::RecordingOrvaneToApp responses;
        const HRESULT hr =
            c.request ? DispatchRequest(c.bytes, requests) : DispatchResponse(c.bytes, responses);
        EXPECT_EQ(hr, E_FAIL);
        EXPECT_EQ(requests.log.Count() + responses.log.Count(), 0u);
        const std::string all = log.All();
        EXPECT_EQ(std::count(all.begin(), all.end(), '\n'), 1) << "only the entry line:\n" << all;
    }
}

TEST(PacketChecks, LengthWordOtherThanTheBytesReceivedFails) {
    QuorTest::LogCapture log;
    QuorTest::RecordingOrvaneToApp responses;
    const auto packet = Response(PACKET_TYPE_GET_VERSION).W(1).Done(24);
    EXPECT_EQ(DispatchResponse(packet, responses), E_FAIL);
    EXPECT_TRUE(log.HasError("Did not recieve all 24 bytes of packet, only got 20.")) << log.All();

    QuorTest::RecordingAppToOrvane requests;
    const auto request = Request(PACKET_TYPE_GET_VERSION).Done(11);
    EXPECT_EQ(DispatchRequest(request, requests), E_FAIL);
    EXPECT_TRUE(log.HasError("Did not recieve all 11 bytes of packet, only got 12.")) << log.All();
    EXPECT_EQ(requests.log.Count() + responses.log.Count(), 0u);
}

TEST(PacketChecks, PeekReadsIdAndCancelOnlyFromWholePackets) {
    QuorTest::LogCapture log;
    ToOrvane::PEEK_PACKET_DATA out;
    auto cancel = Request(PACKET_TYPE_CANCEL, 0x1234).Done();
    EXPECT_EQ(ToOrvane::PeekPacket(12, cancel.data(), out), S_OK);
    EXPECT_EQ(out.requestId, 0x1234u);
    EXPECT_EQ(out.isCancel, 1u);

    auto other = Request(PACKET_TYPE_REPAIR, 0x55).W(0).Done();
    EXPECT_EQ(ToOrvane::PeekPacket(16, other.data(), out), S_OK);
    EXPECT_EQ(out.requestId, 0x55u);
    EXPECT_EQ(out.isCancel, 0u);

    auto cut = Request(PACKET_TYPE_CANCEL, 0x77).Done(13);
    EXPECT_EQ(ToOrvane::PeekPacket(12, cut.data(), out), E_FAIL);
    EXPECT_EQ(out.requestId, 0u);
    EXPECT_EQ(out.isCancel, 0u);
    EXPECT_TRUE(log.HasError("Did not receive all 13 bytes of packet, only got 12.")) << log.All();

    EXPECT_EQ(ToOrvane::PeekPacket(11, cancel.data(), out), E_FAIL);
    EXPECT_EQ(out.requestId, 0u);
}

TEST(PacketChecks, MalformedBodiesFailWithoutACall) {
    struct Case {
        const char* what;
        bool request;
        DWORD type;
        std::vector<BYTE> bytes;
    };
    const Case cases[] = {
        {"string length 0", true, PACKET_TYPE_UPDATE_PROJECT,
         Request(PACKET_TYPE_UPDATE_PROJECT).W(0).Done()},
        {"string length 1 without its zero byte", true, PACKET_TYPE_UPDATE_PROJECT,
         Request(PACKET_TYPE_UPDATE_PROJECT).W(1).B({'a'}).Done()},
        {"string past the end", true, PACKET_TYPE_VALIDATE_PROJECT,
         Request(PACKET_TYPE_VALIDATE_PROJECT).W(10).B({'a', 'b', 0}).Done()},
        {"string length 0xFFFFFFFF", true, PACKET_TYPE_LOCK_FILE,
         Request(PACKET_TYPE_LOCK_FILE).W(0xFFFFFFFF).B({'a', 0}).Done()},
        {"second string past the end", true, PACKET_TYPE_CREATE_PROCESS,
         Request(PACKET_TYPE_CREATE_PROCESS).S("a").W(1).S("b").W(3).B({'c', 0}).Done()},
        {"word cut short", true, PACKET_TYPE_INSTALL_PROJECT_RELEASE,
         Request(PACKET_TYPE_INSTALL_PROJECT_RELEASE).S("abc").B({4, 3}).Done()},
        {"handle word missing", true, PACKET_TYPE_UNLOCK_FILE, Request(PACKET_TYPE_UNLOCK_FILE).Done()},
        {"type 24 without flag bytes", true, PACKET_TYPE_INSTALL_SOLUTION_RELEASE_BY_PROJECT_VERSION,
         Request(PACKET_TYPE_INSTALL_SOLUTION_RELEASE_BY_PROJECT_VERSION).S("s").S("1.0").S("c").Done()},
        {"type 24 with one flag byte", true, PACKET_TYPE_INSTALL_SOLUTION_RELEASE_BY_PROJECT_VERSION,
         Request(PACKET_TYPE_INSTALL_SOLUTION_RELEASE_BY_PROJECT_VERSION)
             .S("s")
             .S("1.0")
             .S("c")
             .B({1})
             .Done()},
        {"string array count 0xFFFFFFFF in 24 bytes", false, PACKET_TYPE_ENUM_AVAIL_PROJECTS,
         Response(PACKET_TYPE_ENUM_AVAIL_PROJECTS).W(0xFFFFFFFF).W(0).Done()},
        {"string array count above its strings", false, PACKET_TYPE_ENUM_INSTALLED_SOLUTIONS,
         Response(PACKET_TYPE_ENUM_INSTALLED_SOLUTIONS).W(2).S("a").Done()},
        {"version list count 0xFFFFFFFF", false, PACKET_TYPE_ENUM_AVAIL_PROJECT_RELEASES,
         Response(PACKET_TYPE_ENUM_AVAIL_PROJECT_RELEASES).W(0xFFFFFFFF).W(1).Done()},
        {"version list one word short", false, PACKET_TYPE_ENUM_INSTALLED_SOLUTION_RELEASES,
         Response(PACKET_TYPE_ENUM_INSTALLED_SOLUTION_RELEASES).W(3).W(1).W(2).Done()},
        {"version word missing", false, PACKET_TYPE_GET_VERSION, Response(PACKET_TYPE_GET_VERSION).Done()},
        {"lock file handle cut", false, PACKET_TYPE_LOCK_FILE,
         Response(PACKET_TYPE_LOCK_FILE).S("f").W(1).W(2).B({3, 0}).Done()},
        {"progress without its item", false, PACKET_TYPE_REQUEST_PROGRESS,
         Response(PACKET_TYPE_REQUEST_PROGRESS).W(1).W(2).W(3).W(4).W(5).W(6).W(7).W(8).W(0).W(0).Done()},
        {"progress item without zero byte", false, PACKET_TYPE_REQUEST_PROGRESS,
         Response(PACKET_TYPE_REQUEST_PROGRESS)
             .W(1)
             .W(2)
             .W(3)
             .W(4)
             .W(5)
             .W(6)
             .W(7)
             .W(8)
             .W(0)
             .W(0)
             .W(2)
             .B({'x', 'y'})
             .Done()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QuorTest::LogCapture log;
        QuorTest::RecordingAppToOrvane requests;
        QuorTest::RecordingOrvaneToApp responses;
        const HRESULT hr =
            c.request ? DispatchRequest(c.bytes, requests) : DispatchResponse(c.bytes, responses);
        EXPECT_EQ(hr, E_FAIL);
        EXPECT_EQ(requests.log.Count() + responses.log.Count(), 0u);
        const std::string name = c.request ? RequestTypeName(c.type) : ResponseTypeName(c.type);
        const std::string errors = log.Errors();
        EXPECT_NE(errors.find(name), std::string::npos) << errors;
        EXPECT_EQ(errors.find('\n') + 1, errors.size()) << "one ERROR line:\n" << errors;
    }
}

TEST(PacketChecks, TextEndsAtItsFirstZeroByteAndFlagsUseBitZero) {
    QuorTest::RecordingAppToOrvane target;
    const auto packet = Request(PACKET_TYPE_INSTALL_SOLUTION_RELEASE_BY_PROJECT_VERSION)
                            .W(4)
                            .B({'s', 0, 'x', 0})
                            .S("")
                            .S("c")
                            .B({0xFE, 0x03})
                            .Done();
    EXPECT_EQ(DispatchRequest(packet, target), S_OK);
    ASSERT_EQ(target.log.Count(), 1u);
    const auto call = target.log.Calls()[0];
    EXPECT_EQ(call.texts, (std::vector<std::string>{"s", "", "c"}));
    EXPECT_EQ(call.flags, (std::vector<bool>{false, true}));
}

}  // namespace
