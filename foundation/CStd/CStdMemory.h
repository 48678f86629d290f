#pragma once
// Heap and memory forwards of the bounded runtime, and aligned blocks. See CStd.h. Thread-safe.
#include <cstddef>

#include "foundation/CStd/CStdTypes.h"

namespace Vorn {

void* std_memset(void* dest, int byte, size_t n);
void std_memzero(void* dest, size_t n);
int std_memcmp(const void* a, const void* b, size_t n);

void* std_malloc(size_t size);
void* std_realloc(void* p, size_t size);
void std_free(void* p);
void std_local_free(void* p);  // same as std_free

// A block of size bytes at a multiple of alignment (a power of two from 4 to 128), freed with
// std_aligned_free (null is ignored). Null when out of memory or for another alignment.
void* std_aligned_malloc(size_t size, size_t alignment);
void std_aligned_free(void* p);

uint_size std_page_size();

}  // namespace Vorn
