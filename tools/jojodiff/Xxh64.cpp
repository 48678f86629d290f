#include "tools/jojodiff/Xxh64.h"

#include "foundation/ByteOrder.h"

namespace JojoDiff {

namespace {

constexpr uint64_t kPrime1 = 0x9E3779B185EBCA87ull;
constexpr uint64_t kPrime2 = 0xC2B2AE3D27D4EB4Full;
constexpr uint64_t kPrime3 = 0x165667B19E3779F9ull;
constexpr uint64_t kPrime4 = 0x85EBCA77C2B2AE63ull;
constexpr uint64_t kPrime5 = 0x27D4EB2F165667C5ull;

inline uint64_t Rotl(uint64_t v, int bits) { return (v << bits) | (v >> (64 - bits)); }

inline uint64_t Round(uint64_t acc, uint64_t input) {
    acc += input * kPrime2;
    acc = Rotl(acc, 31);
    return acc * kPrime1;
}

inline uint64_t MergeRound(uint64_t acc, uint64_t lane) {
    acc ^= Round(0, lane);
    return acc * kPrime1 + kPrime4;
}

}  // namespace

uint64_t Xxh64(const void* data, size_t size, uint64_t seed) {
    using Vorn::Bytes::LoadLE32;
    using Vorn::Bytes::LoadLE64;
    const auto* p = static_cast<const uint8_t*>(data);
    const uint8_t* const end = p + size;
    uint64_t h;

    if (size >= 32) {
        uint64_t v1 = seed + kPrime1 + kPrime2;
        uint64_t v2 = seed + kPrime2;
        uint64_t v3 = seed;
        uint64_t v4 = seed - kPrime1;
        const uint8_t* const lastStripe = end - 32;
        do {
            v1 = Round(v1, LoadLE64(p));
            v2 = Round(v2, LoadLE64(p + 8));
            v3 = Round(v3, LoadLE64(p + 16));
            v4 = Round(v4, LoadLE64(p + 24));
            p += 32;
        } while (p <= lastStripe);
        h = Rotl(v1, 1) + Rotl(v2, 7) + Rotl(v3, 12) + Rotl(v4, 18);
        h = MergeRound(h, v1);
        h = MergeRound(h, v2);
        h = MergeRound(h, v3);
        h = MergeRound(h, v4);
    } else {
        h = seed + kPrime5;
    }

    h += static_cast<uint64_t>(size);

    while (end - p >= 8) {
        h ^= Round(0, LoadLE64(p));
        h = Rotl(h, 27) * kPrime1 + kPrime4;
        p += 8;
    }
    if (end - p >= 4) {
        h ^= static_cast<uint64_t>(LoadLE32(p)) * kPrime1;
        h = Rotl(h, 23) * kPrime2 + kPrime3;
        p += 4;
    }
    while (p < end) {
        h ^= static_cast<uint64_t>(*p) * kPrime5;
        h = Rotl(h, 11) * kPrime1;
        ++p;
    }

    h ^= h >> 33;
    h *= kPrime2;
    h ^= h >> 29;
    h *= kPrime3;
    h ^= h >> 32;
    return h;
}

}  // namespace JojoDiff
