// Damaged packets of every type through both decoders and the peek: nothing may read outside the
// packet (run under AddressSanitizer), and a decoder calls its target exactly when it succeeds.
#include <gtest/gtest.h>

#include <memory>

#include "common/testing/LogCapture.h"
#include "common/testing/Mutator.h"
#include "foundation/ByteOrder.h"
#include "protocol/ToAppDispatch.h"
#include "protocol/ToAppSend.h"
#include "protocol/ToOrvaneDispatch.h"
#include "protocol/ToOrvaneSend.h"
#include "protocol/testing/PacketCases.h"
#include "protocol/testing/RecordingAppToOrvane.h"
#include "protocol/testing/RecordingOrvaneToApp.h"
#include "protocol/testing/RecordingSendPacket.h"

namespace {

using namespace Quor::OrvaneProtocol;

std::vector<std::string> SamplePackets() {
    QuorTest::RecordingSendPacket transport;
    ToOrvane::Send requests(transport);
    ToApp::Send responses(transport);
    for (const auto& c : QuorTest::RequestCases()) c.send(requests);
    for (const auto& c : QuorTest::ResponseCases()) c.send(responses);
    std::vector<std::string> samples;
    for (const auto& packet : transport.Packets())
        samples.emplace_back(packet.bytes.begin(), packet.bytes.end());
    return samples;
}

TEST(ProtocolFuzz, DamagedPacketsNeverReadOutsideAndCallOnlyOnSuccess) {
    QuorTest::LogCapture quiet(Quor::Log::USER);
    const std::vector<std::string> samples = SamplePackets();
    QuorTest::Mutator mutator(20261210);
    QuorTest::RecordingAppToOrvane requestTarget;
    QuorTest::RecordingOrvaneToApp responseTarget;
    size_t decoded = 0;
    constexpr int kRounds = 1000000;
    for (int i = 0; i < kRounds; ++i) {
        std::string input = mutator.Mutate(samples[static_cast<size_t>(i) % samples.size()]);
        // Half the inputs get a matching length word, so that the bodies are reached.
        if (i % 2 == 0 && input.size() >= 4)
            Vorn::Bytes::StoreLE32(input.data(), static_cast<DWORD>(input.size()));
        // An exactly sized heap copy: the sanitizer sees any read past its end.
        const UINT size = static_cast<UINT>(input.size());
        std::unique_ptr<BYTE[]> bytes(new BYTE[size ? size : 1]);
        std::copy(input.begin(), input.end(), bytes.get());

        const size_t requestCalls = requestTarget.log.Count();
        const HRESULT toOrvane = ToOrvane::TranslateAndDispatch(0, size, bytes.get(), requestTarget);
        ASSERT_EQ(requestTarget.log.Count() - requestCalls, SUCCEEDED(toOrvane) ? 1u : 0u) << "input " << i;

        const size_t responseCalls = responseTarget.log.Count();
        const HRESULT toApp = ToApp::TranslateAndDispatch(0, size, bytes.get(), responseTarget);
        ASSERT_EQ(responseTarget.log.Count() - responseCalls, SUCCEEDED(toApp) ? 1u : 0u) << "input " << i;

        ToOrvane::PEEK_PACKET_DATA peek;
        const HRESULT peeked = ToOrvane::PeekPacket(size, bytes.get(), peek);
        if (FAILED(peeked)) {
            ASSERT_EQ(peek.requestId, 0u) << "input " << i;
        }

        decoded += SUCCEEDED(toOrvane) + SUCCEEDED(toApp);
        if (i % 4096 == 0) {
            requestTarget.log.Clear();
            responseTarget.log.Clear();
        }
    }
    // The mutations must still reach the bodies often, or the run tests only the header checks.
    EXPECT_GT(decoded, static_cast<size_t>(kRounds / 20));
}

}  // namespace
