#include "archive/PairLimit.h"

#include <algorithm>
#include <atomic>

#include "archive/FileFormat.h"

namespace Quor::FileSystem::Impl {

namespace {
std::atomic<uint64_t> g_MaxPairDataSize{FileFormat::skMaxDataSize};
}  // namespace

uint64_t GetMaxPairDataSize() { return g_MaxPairDataSize.load(std::memory_order_relaxed); }

void SetMaxPairDataSizeForTesting(uint64_t bytes) {
    g_MaxPairDataSize.store(std::clamp<uint64_t>(bytes, 1, FileFormat::skMaxDataSize), std::memory_order_relaxed);
}

}  // namespace Quor::FileSystem::Impl
