#pragma once
// Content that compresses as a game's data files do: blocks of 1 MiB in turn of text (two of
// four), structured binary records and random bytes, the same bytes for the same size.
// Header-only; reentrant.
#include <cstdint>
#include <string>

#include "foundation/ByteOrder.h"

namespace QuorBench {

inline std::string MakeMixedContent(size_t size) {
    static const char* const kWords[] = {"texture", "model", "sound", "level", "script", "shader", "map",
                                         "entity", "weapon", "player", "light", "mesh", "anim", "font"};
    std::string data;
    data.reserve(size);
    uint64_t x = 0x9E3779B97F4A7C15ull;
    auto next = [&x] {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        return x;
    };
    for (size_t block = 0; data.size() < size; ++block) {
        const size_t end = data.size() + (1u << 20);
        switch (block % 4) {
            case 0:
            case 1:  // text
                while (data.size() < end) {
                    data += kWords[next() % 14];
                    data += (next() % 9 == 0) ? '\n' : ' ';
                    if (next() % 4 == 0) data += std::to_string(next() % 1000000) + ' ';
                }
                break;
            case 2: {  // records: id, offset, size, flags
                uint32_t id = static_cast<uint32_t>(block * 1000), offset = 0;
                while (data.size() < end) {
                    char record[16];
                    const uint32_t length = static_cast<uint32_t>(next() % 70000);
                    Vorn::Bytes::StoreLE32(record, id++);
                    Vorn::Bytes::StoreLE32(record + 4, offset);
                    Vorn::Bytes::StoreLE32(record + 8, length);
                    Vorn::Bytes::StoreLE32(record + 12, static_cast<uint32_t>(next() % 4));
                    offset += length;
                    data.append(record, 16);
                }
                break;
            }
            default:  // random
                while (data.size() < end) {
                    const uint64_t v = next();
                    data.append(reinterpret_cast<const char*>(&v), 8);
                }
        }
        data.resize(end);
    }
    data.resize(size);
    return data;
}

}  // namespace QuorBench
