#include "platform/StringBounds.h"

#include <cstring>
#include <cwchar>

namespace Quor::Platform {

namespace {

template <typename Ch>
size_t Length(const Ch* s) {
    if constexpr (sizeof(Ch) == 1)
        return std::strlen(s);
    else
        return std::wcslen(s);
}

template <typename Ch>
size_t BoundedLength(const Ch* s, size_t max) {
    if constexpr (sizeof(Ch) == 1)
        return ::strnlen(s, max);
    else
        return ::wcsnlen(s, max);
}

template <typename Ch>
size_t Copy(Ch* dest, const Ch* src, size_t size) {
    size_t length = Length(src);
    if (size != 0) {
        size_t n = length < size ? length : size - 1;
        std::memmove(dest, src, n * sizeof(Ch));
        dest[n] = 0;
    }
    return length;
}

template <typename Ch>
size_t Cat(Ch* dest, const Ch* src, size_t size) {
    size_t used = BoundedLength(dest, size);
    if (used == size) return size + Length(src);  // no terminator within size: nothing to append to
    return used + Copy(dest + used, src, size - used);
}

}  // namespace

size_t StrLCopy(char* dest, const char* src, size_t size) { return Copy(dest, src, size); }
size_t StrLCat(char* dest, const char* src, size_t size) { return Cat(dest, src, size); }
size_t WcsLCopy(wchar_t* dest, const wchar_t* src, size_t size) { return Copy(dest, src, size); }
size_t WcsLCat(wchar_t* dest, const wchar_t* src, size_t size) { return Cat(dest, src, size); }

}  // namespace Quor::Platform
