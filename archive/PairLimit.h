#pragma once
// The most stored bytes one archive pair may hold: 0xFFFFFFFF, what its 32-bit offsets address.
// The archive manager starts a new pair before an addition would pass it, and the builder refuses
// to write a pair past it. Tests lower it to exercise both without writing 4 GiB.
// Thread-safe (an atomic value).
#include <cstdint>

namespace Quor::FileSystem::Impl {

uint64_t GetMaxPairDataSize();
// Sets the limit (clamped to 1 .. 0xFFFFFFFF); for tests only.
void SetMaxPairDataSizeForTesting(uint64_t bytes);

}  // namespace Quor::FileSystem::Impl
