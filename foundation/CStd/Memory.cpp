// Memory functions of the bounded runtime (see CStdMemory.h).
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "foundation/CStd/CStd.h"

namespace Vorn {

void* std_memset(void* dest, int byte, size_t n) { return std::memset(dest, byte, n); }
void std_memzero(void* dest, size_t n) { std::memset(dest, 0, n); }
int std_memcmp(const void* a, const void* b, size_t n) { return std::memcmp(a, b, n); }

void* std_malloc(size_t size) { return std::malloc(size); }
void* std_realloc(void* p, size_t size) { return std::realloc(p, size); }
void std_free(void* p) { std::free(p); }
void std_local_free(void* p) { std::free(p); }

// The block is over-allocated by alignment bytes; the distance from the block's start to the
// aligned address (1..alignment) is kept in the 4 bytes just below that address.
void* std_aligned_malloc(size_t size, size_t alignment) {
    if (alignment < 4 || alignment > 128 || (alignment & (alignment - 1)) != 0) return nullptr;
    if (size > SIZE_MAX - alignment) return nullptr;
    auto* block = static_cast<unsigned char*>(std::malloc(size + alignment));
    if (!block) return nullptr;
    uint32_t offset = static_cast<uint32_t>(alignment - reinterpret_cast<uintptr_t>(block) % alignment);
    unsigned char* aligned = block + offset;
    std::memcpy(aligned - sizeof offset, &offset, sizeof offset);
    return aligned;
}

void std_aligned_free(void* p) {
    if (!p) return;
    auto* aligned = static_cast<unsigned char*>(p);
    uint32_t offset = 0;
    std::memcpy(&offset, aligned - sizeof offset, sizeof offset);
    std::free(aligned - (offset & 0xFF));
}

uint_size std_page_size() { return static_cast<uint_size>(sysconf(_SC_PAGESIZE)); }

}  // namespace Vorn
