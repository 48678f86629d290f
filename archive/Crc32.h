#pragma once
// CRC-32 (IEEE 802.3 polynomial, reflected, as zlib and PNG compute it) of byte ranges; used to
// seal archive index files and commit journals so that a damaged one is recognised.
// Pure functions; thread-safe.
#include <cstddef>
#include <cstdint>

namespace Quor::FileSystem::Impl {

// Continues the CRC `crc` (0 to start) over `size` bytes and returns the new value.
uint32_t Crc32(uint32_t crc, const void* data, size_t size);

}  // namespace Quor::FileSystem::Impl
