// Cutting requests out of one connection's byte stream.
#include "kernel/RequestFramer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "foundation/ByteOrder.h"

namespace {

using Quor::Orvane::WinSock::RequestFramer;

std::vector<BYTE> Request(DWORD length, BYTE fill) {
    std::vector<BYTE> bytes(length >= 4 ? length : 4, fill);
    Vorn::Bytes::StoreLE32(bytes.data(), length);
    return bytes;
}

// Feeds `stream` in pieces of `step` bytes; the sizes of the requests delivered, or -1 once refused.
std::vector<long> Feed(RequestFramer& framer, const std::vector<BYTE>& stream, size_t step) {
    std::vector<long> delivered;
    for (size_t at = 0; at < stream.size();) {
        const size_t n = std::min({step, stream.size() - at, static_cast<size_t>(framer.SpaceSize())});
        std::memcpy(framer.Space(), stream.data() + at, n);
        at += n;
        DWORD bad = 0;
        if (!framer.Commit(
                static_cast<DWORD>(n),
                [&](const BYTE* bytes, UINT size) {
                    EXPECT_EQ(size, Vorn::Bytes::LoadLE32(bytes));
                    delivered.push_back(size);
                },
                bad)) {
            delivered.push_back(-1);
            break;
        }
    }
    return delivered;
}

TEST(RequestFramer, DeliversWholeRequestsHoweverTheStreamIsCut) {
    std::vector<BYTE> stream;
    for (DWORD length : {12u, 17u, 4096u, 12u, 300u}) {
        const auto request = Request(length, static_cast<BYTE>(length));
        stream.insert(stream.end(), request.begin(), request.end());
    }
    for (size_t step : {1u, 3u, 11u, 13u, 4096u, 100000u}) {
        RequestFramer framer;
        EXPECT_EQ((std::vector<long>{12, 17, 4096, 12, 300}), Feed(framer, stream, step)) << "step " << step;
    }
}

TEST(RequestFramer, RefusesALengthOutsideTheRequestSizes) {
    for (DWORD length : {0u, 4u, 11u, 4097u, 0xFFFFFFFFu}) {
        RequestFramer framer;
        std::vector<BYTE> stream = Request(12, 1);
        // Only the length word of the refused request is sent: its body is never read.
        BYTE header[4];
        Vorn::Bytes::StoreLE32(header, length);
        stream.insert(stream.end(), header, header + 4);
        EXPECT_EQ((std::vector<long>{12, -1}), Feed(framer, stream, 64)) << "length " << length;
    }
}

}  // namespace
