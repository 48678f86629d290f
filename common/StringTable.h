#pragma once
// StringTable: a compact image of a list of zero-terminated strings addressed by index. Image
// layout, every number unsigned 32-bit little-endian, offsets from the first byte of the image:
//   total size (this header included), count, then count pairs (offset, length with the zero),
//   then the strings with their zeros back to back in index order. No padding.
//
// Builder: collects distinct strings (byte-wise equality, case counts) and writes the image into
// one new buffer; it keeps its strings, so Build may be called again. Not thread-safe.
// GetString trusts the image; an image read from a file must pass IsValidImage first.
// Allocation failures throw.
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "foundation/Types.h"
#include "foundation/api/IBuffer.h"

namespace Quor::Common {

class StringTable {
public:
    class Builder {
    public:
        // Index of `text` in the table; a string already added returns its first index.
        unsigned Add(const std::string& text);
        // The image of the strings added so far. Throws std::length_error when the image would
        // not fit the 32-bit size field.
        std::shared_ptr<API::IBuffer> Build() const;

    private:
        std::vector<std::string> m_Strings;
        std::unordered_map<std::string, unsigned> m_Index;
    };

    // String `index` of the image, or null when `image` is null or `index` is not below the
    // image's count. The entry's offset is not checked (see IsValidImage).
    static const char* GetString(const void* image, unsigned int index);

    // True when `bytes` bytes at `image` form a consistent image: the total size equals `bytes`,
    // the table fits, and every string lies inside the image, is at least its zero long and ends
    // with a zero byte.
    static bool IsValidImage(const void* image, size_t bytes);
};

}  // namespace Quor::Common
