#include "foundation/HashFunctions.h"

#include <cctype>

namespace Vorn {
namespace {

// A byte taken as a signed character and widened to 32 bits (0x80 -> 0xFFFFFF80).
inline uint32_t Signed(unsigned char byte) {
    return static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(byte)));
}
inline unsigned char Lowered(unsigned char byte) { return static_cast<unsigned char>(std::tolower(byte)); }

inline uint32_t ElfStep(uint32_t h, uint32_t c) {
    h = (h << 4) + c;
    const uint32_t g = h & 0xF0000000u;
    if (g != 0) h = (h ^ (g >> 24)) & ~g;
    return h;
}

inline uint32_t SdbmStep(uint32_t h, uint32_t c) { return c + h * 65599u; }

uint32_t SdbmText(uint32_t h, const char* text) {
    if (text == nullptr) return h;
    for (auto* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) h = SdbmStep(h, Lowered(*p));
    return h;
}

// Runs `step` over the bytes of a terminated text, each byte mapped by `map`.
template <typename Map, typename Step>
uint32_t Walk(const char* text, uint32_t h, Map map, Step step) {
    for (auto* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) h = step(h, map(*p));
    return h;
}

uint32_t SignedLowered(unsigned char b) { return Signed(Lowered(b)); }

}  // namespace

uint32_t HashFunctions::HashString(const char* text) { return ELFHash(text); }

uint32_t HashFunctions::HashBytes(const unsigned char* data, unsigned length) {
    uint32_t h = 0;
    for (unsigned i = 0; i < length; ++i) h = ElfStep(h, data[i]);
    return h;
}

uint32_t HashFunctions::HashString_SDBM(const char* a) { return a == nullptr ? 0 : SdbmText(0, a); }

uint32_t HashFunctions::HashString_SDBM(const char* a, char separator) {
    if (a == nullptr) return 0;
    return SdbmStep(SdbmText(0, a), Signed(static_cast<unsigned char>(separator)));
}

uint32_t HashFunctions::HashString_SDBM(const char* a, const char* b) {
    if (a == nullptr) return 0;
    return SdbmText(SdbmText(0, a), b);
}

uint32_t HashFunctions::HashString_SDBM(const char* a, char separator, const char* b) {
    if (a == nullptr) return 0;
    return SdbmText(HashString_SDBM(a, separator), b);
}

uint32_t HashFunctions::HashString_SDBM_Inc(uint32_t& hash, const char* text) {
    hash = SdbmText(hash, text);
    return hash;
}

uint32_t ELFHash(const char* text) { return Walk(text, 0, SignedLowered, ElfStep); }

uint32_t FNVHash(const char* text) {
    return Walk(text, 0x811C9DC5u, SignedLowered, [](uint32_t h, uint32_t c) { return (h * 16777619u) ^ c; });
}

uint32_t ADDHash(const char* text) {
    return Walk(text, 0, Signed, [](uint32_t h, uint32_t c) { return h + c; });
}

uint32_t XORHash(const char* text) {
    return Walk(text, 0, Signed, [](uint32_t h, uint32_t c) { return h ^ c; });
}

uint32_t ROTHash(const char* text) {
    return Walk(text, 0, Signed, [](uint32_t h, uint32_t c) { return ((h << 4) | (h >> 28)) ^ c; });
}

uint32_t DJBHash(const char* text) {
    return Walk(text, 0, Signed, [](uint32_t h, uint32_t c) { return c + h * 33u; });
}

uint32_t SAXHash(const char* text) {
    return Walk(text, 0, Signed, [](uint32_t h, uint32_t c) { return h ^ ((h << 5) + (h >> 2) + c); });
}

uint32_t OATHash(const char* text) {
    uint32_t h = Walk(text, 0, Signed, [](uint32_t sum, uint32_t c) {
        sum += c;
        sum += sum << 10;
        return sum ^ (sum >> 6);
    });
    h += h << 3;
    h ^= h >> 11;
    h += h << 15;
    return h;
}

}  // namespace Vorn
