#pragma once
// XXH64, the 64-bit xxHash of a byte range, as the patch files of jdiff and jpatch store it.
//
// A pure function of its input and seed: no state, safe from any thread. Results are identical on
// every platform (the input is read as little-endian words, unaligned reads are allowed).
#include <cstddef>
#include <cstdint>

namespace JojoDiff {

uint64_t Xxh64(const void* data, size_t size, uint64_t seed = 0);

}  // namespace JojoDiff
