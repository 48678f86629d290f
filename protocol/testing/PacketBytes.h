#pragma once
// Test helper: packet bytes written out by hand, little-endian words, strings with their length
// word (text length plus one) and zero byte, and raw bytes, in the order they are added. Done
// stores the total size in the first word (or the size given) and hands the bytes out. No state
// beyond the bytes; not thread-safe.
#include <initializer_list>
#include <string>
#include <vector>

#include "foundation/ByteOrder.h"
#include "foundation/Types.h"

namespace QuorTest {

struct PacketBytes {
    std::vector<BYTE> data;

    PacketBytes& W(DWORD v) {
        for (int i = 0; i < 4; ++i) data.push_back(static_cast<BYTE>(v >> (8 * i)));
        return *this;
    }
    PacketBytes& B(std::initializer_list<BYTE> bytes) {
        data.insert(data.end(), bytes);
        return *this;
    }
    PacketBytes& S(const std::string& text) {
        W(static_cast<DWORD>(text.size() + 1));
        data.insert(data.end(), text.begin(), text.end());
        data.push_back(0);
        return *this;
    }
    std::vector<BYTE> Done(DWORD size = 0) {
        Vorn::Bytes::StoreLE32(data.data(), size ? size : static_cast<DWORD>(data.size()));
        return data;
    }
};

}  // namespace QuorTest
