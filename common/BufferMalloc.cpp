#include "common/BufferMalloc.h"

#include <cstdlib>

namespace Quor::Common {

BufferMalloc::BufferMalloc(uint32_t size, void* data)
    : m_data(data ? data : std::malloc(size)), m_size(size) {}

BufferMalloc::~BufferMalloc() {
    std::free(m_data);
}

namespace {

// The block comes from posix_memalign, not from Vorn::std_aligned_malloc: the runtime's aligned
// blocks stop at 128-byte alignment, while block-aligned reads want the file system's block size
// (4096 and more). It is released with free.
void* AlignedAllocate(uint32_t size, uint32_t alignment) {
    if (alignment < sizeof(void*)) alignment = sizeof(void*);
    if ((alignment & (alignment - 1)) != 0) return nullptr;
    void* block = nullptr;
    return posix_memalign(&block, alignment, size ? size : 1) == 0 ? block : nullptr;
}

}  // namespace

BufferMallocEx::BufferMallocEx(uint32_t blockSize, uint32_t dataSize, uint32_t dataOffset, uint32_t alignment)
    : m_block(nullptr), m_dataSize(dataSize), m_dataOffset(dataOffset) {
    // The data must lie inside the block.
    if (static_cast<uint64_t>(dataOffset) + dataSize > blockSize) return;
    m_block = AlignedAllocate(blockSize, alignment);
}

BufferMallocEx::~BufferMallocEx() {
    std::free(m_block);
}

}  // namespace Quor::Common
