#pragma once
// How much of a file mapping the tools populate at once. Mapping every page in one call costs far
// less than a fault per page, but only while the page cache holds the file at ease: the pages of a
// larger input would be read in and dropped again before they are used, and those of a larger
// result would be dirty before the decoder fills them and written out twice. Larger mappings are
// faulted in as they are touched.
#include <cstdint>

namespace JojoDiff {

constexpr uint64_t kPopulateAtMost = 32u << 20;

}  // namespace JojoDiff
