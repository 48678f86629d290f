#pragma once
// The file pair of the patch benchmark: a binary-like original and a new version of it.
//
// MakeOriginal gives about size bytes mixing what program and data files hold: machine-code-like
// runs of a small skewed vocabulary, tables of small numbers, runs of path strings and blocks that
// look compressed. MakeNewVersion changes about 2% of the bytes in short scattered runs, inserts
// four blocks and removes four.
//
// MakeBlobs gives about size bytes of already-compressed assets (incompressible blocks of 16 KiB to
// 1 MiB, one after another); MakeBlobNewVersion replaces about 5% of the assets with new bytes,
// drops about 2.5% and inserts about 2.5% new ones, keeping the order of the rest.
// All are pure functions of their arguments (same seed, same bytes).
#include <cstddef>
#include <cstdint>
#include <string>

namespace PatchBench {

std::string MakeOriginal(size_t size, uint64_t seed);
std::string MakeNewVersion(const std::string& original, uint64_t seed);
std::string MakeBlobs(size_t size, uint64_t seed);
std::string MakeBlobNewVersion(const std::string& original, uint64_t seed);

}  // namespace PatchBench
