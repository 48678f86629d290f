#include "bench/patch/BenchPair.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace PatchBench {

namespace {

// splitmix64: small, fast and the same on every machine.
class Random {
public:
    explicit Random(uint64_t seed) : m_state(seed) {}
    uint64_t Next() {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    uint64_t Below(uint64_t n) { return Next() % n; }
    uint64_t Between(uint64_t lo, uint64_t hi) { return lo + Below(hi - lo + 1); }
    std::string Bytes(size_t n) {
        std::string s(n, '\0');
        for (auto& c : s) c = static_cast<char>(Next());
        return s;
    }

private:
    uint64_t m_state;
};

}  // namespace

std::string MakeOriginal(size_t size, uint64_t seed) {
    Random r(seed);
    std::vector<std::string> vocabulary(600);
    for (auto& word : vocabulary) word = r.Bytes(r.Between(2, 8));
    std::string out;
    out.reserve(size + 70000);
    char text[64];
    while (out.size() < size) {
        const uint64_t kind = r.Below(100);
        if (kind < 50) {  // code: a few words are very common, most are rare
            for (int i = 0; i < 2000; ++i) {
                const uint64_t a = r.Below(600), b = r.Below(600);
                out += vocabulary[(a * b) / 600];
            }
        } else if (kind < 70) {  // tables of small numbers
            for (int i = 0; i < 4000; ++i) {
                const uint32_t v = static_cast<uint32_t>(r.Below(301));
                for (int k = 0; k < 4; ++k) out += static_cast<char>(v >> (8 * k));
            }
        } else if (kind < 85) {  // strings
            for (int i = 0; i < 300; ++i) {
                const int n = snprintf(text, sizeof text, "resource/%05u/texture_%u.dds",
                                       static_cast<unsigned>(r.Below(100000)), static_cast<unsigned>(r.Below(1000)));
                out.append(text, static_cast<size_t>(n) + 1);
            }
        } else {  // compressed data
            out += r.Bytes(r.Between(4096, 65536));
        }
    }
    out.resize(size);
    return out;
}

std::string MakeNewVersion(const std::string& original, uint64_t seed) {
    Random r(seed);
    std::string s = original;
    if (s.size() < 1024) return s + "x";
    // Short runs of 1 to 7 changed bytes, 4 on average: 2% of the bytes in all.
    for (size_t i = 0, n = s.size() / 200; i < n; ++i) {
        const size_t at = r.Below(s.size() - 8);
        for (uint64_t k = 0, run = r.Between(1, 7); k < run; ++k) s[at + k] = static_cast<char>(r.Next());
    }
    for (int i = 0; i < 4; ++i) s.insert(r.Below(s.size()), r.Bytes(r.Between(10000, 200000)));
    for (int i = 0; i < 4; ++i) {
        const size_t at = r.Below(s.size() / 2);
        s.erase(at, r.Between(10000, 200000));
    }
    return s;
}

namespace {
constexpr uint64_t kBlobMin = 16u << 10;
constexpr uint64_t kBlobMax = 1u << 20;
}  // namespace

std::string MakeBlobs(size_t size, uint64_t seed) {
    Random r(seed);
    std::string out;
    out.reserve(size + kBlobMax);
    while (out.size() < size) out += r.Bytes(r.Between(kBlobMin, kBlobMax));
    return out;
}

std::string MakeBlobNewVersion(const std::string& original, uint64_t seed) {
    // The new version walks the original in pieces of asset size; each piece is one asset's fate.
    Random r(seed);
    std::string s;
    s.reserve(original.size() + original.size() / 10);
    for (size_t at = 0; at < original.size();) {
        const size_t length = std::min<size_t>(original.size() - at, r.Between(kBlobMin, kBlobMax));
        const uint64_t fate = r.Below(1000);
        if (fate < 50) s += r.Bytes(length);                       // rebuilt asset
        else if (fate >= 75) s.append(original, at, length);       // kept (or dropped: 50..74)
        if (r.Below(1000) < 25) s += r.Bytes(r.Between(kBlobMin, kBlobMax));  // a new asset
        at += length;
    }
    return s;
}

}  // namespace PatchBench
