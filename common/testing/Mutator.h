#pragma once
// Test helper for fuzz-style tests: derives damaged inputs from a valid one, deterministically
// from a seed, so that a failure can be reproduced by its iteration number.
#include <cstdint>
#include <random>
#include <string>

namespace QuorTest {

class Mutator {
public:
    explicit Mutator(uint32_t seed) : m_Random(seed) {}

    // One damaged copy of `input`: truncated, bits flipped, a 32-bit word replaced by a value
    // that tends to sit on a boundary, bytes inserted or removed, or several of these at once.
    std::string Mutate(const std::string& input) {
        std::string out = input;
        const int rounds = 1 + static_cast<int>(Next(3));
        for (int r = 0; r < rounds; ++r) {
            switch (Next(6)) {
                case 0:
                    out.resize(Next(out.size() + 1));
                    break;
                case 1:
                case 2:
                    for (uint32_t i = 0, n = 1 + Next(8); i < n && !out.empty(); ++i)
                        out[Next(out.size())] ^= static_cast<char>(1u << Next(8));
                    break;
                case 3: {
                    if (out.size() < 4) break;
                    static const uint32_t values[] = {0,          1,          2,  3,  0x7FFFFFFF, 0x80000000,
                                                      0xFFFFFFFF, 0xFFFFFFFE, 20, 36, 44};
                    const uint32_t v =
                        Next(3) == 0 ? static_cast<uint32_t>(m_Random()) : values[Next(std::size(values))];
                    const size_t at = (Next(out.size() - 3) / 4) * 4;
                    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>(v >> (8 * i));
                    break;
                }
                case 4: {
                    static const char* pieces[] = {"\n", ",",  "\r\n",       "..", "/",   "\\",
                                                   "0",  "-1", "4294967296", "\0", "\n\n"};
                    const std::string piece = pieces[Next(std::size(pieces))];
                    out.insert(Next(out.size() + 1), piece.empty() ? std::string(1, '\0') : piece);
                    break;
                }
                case 5:
                    if (!out.empty()) {
                        const size_t at = Next(out.size());
                        out.erase(at, 1 + Next(8));
                    }
                    break;
            }
        }
        return out;
    }

private:
    uint32_t Next(size_t bound) { return bound == 0 ? 0 : static_cast<uint32_t>(m_Random() % bound); }
    std::mt19937 m_Random;
};

}  // namespace QuorTest
