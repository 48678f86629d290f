#pragma once
// Reproducible test contents: incompressible bytes from a seeded generator, and compressible text
// (words and numbers in lines). Same arguments, same bytes. Thread-safe (no shared state).
#include <cstddef>
#include <cstdint>
#include <string>

namespace QuorTest {

std::string RandomBytes(size_t size, uint32_t seed = 1);
std::string TextBytes(size_t size, uint32_t seed = 1);

}  // namespace QuorTest
