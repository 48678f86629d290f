#include "foundation/Random.h"

#include <array>
#include <atomic>
#include <cstdlib>
#include <utility>

namespace Vorn::Math {
namespace {

constexpr unsigned kWords = 55;
constexpr uint32_t kLoadSeed = 0x09A4EC86u;  // 161803398

constexpr std::array<uint32_t, kWords> seedTable = {
    0x34184835, 0x032155BD, 0x728DCBBA, 0x5551B3E1, 0x3CFA13B4, 0x50C36CFB, 0x4283D5A4, 0x86A6F7D4,
    0x05CDD50B, 0x3D55681E, 0x68297890, 0x30F80F62, 0xF827E134, 0x6CB7C9B8, 0x5B91EF84, 0x5A9B6315,
    0xB59482B9, 0xB6A66009, 0x3002A728, 0x0A7AF6FE, 0x83A7671B, 0xA706B08E, 0xE2159E71, 0x2E12DDF0,
    0x39C8D8A7, 0x54356C3C, 0xC2A5466D, 0x6A0606AD, 0x973A06BA, 0x4ED02A8F, 0xA01FCC1D, 0xC38E69DB,
    0x207715F3, 0xB8F102D7, 0x09122D6B, 0x27745045, 0x9AC907B1, 0x721B232A, 0xC8131437, 0x573264D5,
    0x843C5B42, 0xF71E9743, 0x50C1FD34, 0xC1AA6FAA, 0x0B1F7FC7, 0x5C044B2D, 0xDA951CEA, 0x70A5A012,
    0x6C206994, 0x1979A9E4, 0xB61189E5, 0x86D0772A, 0x92849989, 0xFD273D33, 0x1AC5B2A4,
};

// Words and indices are relaxed atomics: a draw racing another may lose a step but never reads
// an index out of range, since every stored index is already reduced modulo 55. The state is
// constant-initialised, so it is ready before any other static initialiser could draw.
struct RandomState {
    std::array<std::atomic<uint32_t>, kWords> s;
    std::atomic<uint32_t> i;
    std::atomic<uint32_t> j;

    template <size_t... K>
    constexpr explicit RandomState(std::index_sequence<K...>)
        : s{(seedTable[(K + 53) % kWords] ^ kLoadSeed)...}, i(0), j(31) {}
};

constinit RandomState s_randomGen{std::make_index_sequence<kWords>()};

uint32_t Step() {
    constexpr auto relaxed = std::memory_order_relaxed;
    const uint32_t i = (s_randomGen.i.load(relaxed) + 1) % kWords;
    const uint32_t j = (s_randomGen.j.load(relaxed) + 3) % kWords;
    s_randomGen.i.store(i, relaxed);
    s_randomGen.j.store(j, relaxed);
    const uint32_t x = s_randomGen.s[j].load(relaxed);
    const uint32_t value = s_randomGen.s[i].load(relaxed) ^ ((x << 5) + (x >> 2) + 5440u);
    s_randomGen.s[i].store(value, relaxed);
    return value;
}

}  // namespace

void SeedRandom(uint32_t seed) {
    for (unsigned k = 0; k < kWords; ++k)
        s_randomGen.s[k].store(seedTable[(seed % kWords + k) % kWords] ^ seed, std::memory_order_relaxed);
    s_randomGen.i.store(0, std::memory_order_relaxed);
    s_randomGen.j.store(31, std::memory_order_relaxed);
}

uint32_t GetRandomUInt(uint32_t max) { return max == 0 ? 0 : Step() % max; }

int GetRandomInt(int max) {
    if (max == 0) return 0;
    return static_cast<int>(Step() % static_cast<uint32_t>(max));
}

float GetRandomFloat() { return static_cast<float>(Step()) * (1.0f / 4294967296.0f); }

float GetRandomFloat(float min, float max) { return min + (max - min) * GetRandomFloat(); }

float GetRandomFloatUsingRand(float min, float max) {
    return min + (max - min) * static_cast<float>(std::rand()) * (1.0f / 2147483648.0f);
}

}  // namespace Vorn::Math
