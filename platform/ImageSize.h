#pragma once
// The pixel size of an image file, read from its header (PNG only). Reads at most the header of a
// regular file; no state; thread-safe.
#include <cstdint>

namespace Quor::Platform {

// False when the file is missing, no regular file, or no PNG image.
bool PngImageSize(const char* path, uint32_t& width, uint32_t& height);

}  // namespace Quor::Platform
