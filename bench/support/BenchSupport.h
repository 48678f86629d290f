#pragma once
// Helpers shared by the benchmark programs: a monotonic clock in seconds, and a large file of
// incompressible bytes (xorshift output, the same bytes for the same size). Header-only: the
// benchmarks include it without a library of their own. Reentrant.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace QuorBench {

// Seconds on the steady clock (only differences mean anything).
inline double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Writes size bytes (rounded up to whole MiB) of xorshift output to path; true when all were
// written and the file closed.
inline bool MakeXorshiftFile(const std::string& path, uint64_t size) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    std::vector<uint64_t> block(1 << 17);  // 1 MiB of xorshift output
    uint64_t x = 0x9E3779B97F4A7C15ull;
    bool ok = true;
    for (uint64_t written = 0; ok && written < size; written += block.size() * 8) {
        for (auto& w : block) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            w = x;
        }
        ok = fwrite(block.data(), 8, block.size(), f) == block.size();
    }
    return fclose(f) == 0 && ok;
}

}  // namespace QuorBench
