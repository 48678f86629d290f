#pragma once
// Test helper: kernel packets made with the protocol's own sender, and the requests a client sent
// decoded with the protocol's own decoder.
#include <functional>
#include <vector>

#include "foundation/ByteOrder.h"
#include "protocol/ToAppSend.h"
#include "protocol/ToOrvaneDispatch.h"
#include "protocol/testing/RecordingAppToOrvane.h"
#include "protocol/testing/RecordingSendPacket.h"

namespace QuorTest {

// The bytes of what `send` writes through a ToApp::Send (one packet or several).
inline std::vector<BYTE> KernelBytes(const std::function<void(Quor::OrvaneProtocol::IOrvaneToApp&)>& send) {
    RecordingSendPacket transport;
    Quor::OrvaneProtocol::ToApp::Send sender(transport);
    send(sender);
    std::vector<BYTE> bytes;
    for (const auto& packet : transport.Packets())
        bytes.insert(bytes.end(), packet.bytes.begin(), packet.bytes.end());
    return bytes;
}

// Cuts whole request packets from the front of `pending` (removing them) and decodes each.
inline std::vector<RecordedCall> TakeRequests(std::vector<BYTE>& pending) {
    RecordingAppToOrvane target;
    size_t used = 0;
    while (pending.size() - used >= 4) {
        const DWORD length = Vorn::Bytes::LoadLE32(pending.data() + used);
        if (length < 4 || pending.size() - used < length) break;
        Quor::OrvaneProtocol::ToOrvane::TranslateAndDispatch(0, length, pending.data() + used, target);
        used += length;
    }
    pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(used));
    return target.log.Calls();
}

inline std::vector<RecordedCall> DecodeRequests(std::vector<BYTE> bytes) {
    return TakeRequests(bytes);
}

}  // namespace QuorTest
