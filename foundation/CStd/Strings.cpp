// String functions of the bounded runtime (see CStdStrings.h).
#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>

#include "foundation/CStd/CStd.h"
#include "foundation/CStd/CStdCheck.h"
#include "platform/StringBounds.h"

namespace Vorn {

namespace {
[[maybe_unused]] constexpr const char* kStrnlenText = "uint_size Vorn::std_strnlen(const char *, uint_size)";
[[maybe_unused]] constexpr const char* kStrncpyText = "char *Vorn::std_strncpy(char *, uint_size, const char *, uint_size)";
[[maybe_unused]] constexpr const char* kStrncatText = "char *Vorn::std_strncat(char *, uint_size, const char *, uint_size)";
[[maybe_unused]] constexpr const char* kMemcpyText = "void Vorn::std_memcpy(void *, uint_size, const void *, uint_size)";

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }
}  // namespace

uint_size std_strlen(const char* s) { return static_cast<uint_size>(std::strlen(s)); }

uint_size std_strnlen(const char* pStr, uint_size max) {
    VORN_CSTD_CHECK(pStr, "pStr", nullptr, kStrnlenText);
    return static_cast<uint_size>(::strnlen(pStr, max));
}

char* std_strcat(char* dest, const char* src) { return std::strcat(dest, src); }
char* std_strcpy(char* dest, const char* src) { return std::strcpy(dest, src); }

char* std_strcat(char* dest, uint_size size, const char* src) {
    Quor::Platform::StrLCat(dest, src, size);
    return dest;
}

char* std_strcpy(char* dest, uint_size size, const char* src) {
    if (size != 0) {
        // Measuring through std_strnlen gives the asserting build its check of src.
        uint_size n = std_strnlen(src, size - 1);
        std::memmove(dest, src, n);
        dest[n] = '\0';
    }
    return dest;
}

char* std_strncpy(char* dest, uint_size num, const char* src, uint_size count) {
    VORN_CSTD_CHECK(dest, "pDest", nullptr, kStrncpyText);
    VORN_CSTD_CHECK(src, "pSrc", nullptr, kStrncpyText);
    VORN_CSTD_CHECK(count != TRUNCATE ? count < num : true, "count != TRUNCATE ? count < num : true",
                    "String operation causes truncation.", kStrncpyText);
    uint_size n = std_strnlen(src, count);
    if (n < num) {
        std::memmove(dest, src, n);
        dest[n] = '\0';
    } else if (num == 0) {
        // no room at all: nothing is written
    } else if (count == TRUNCATE) {
        std::memmove(dest, src, num - 1);
        dest[num - 1] = '\0';
    } else {
        dest[0] = '\0';
    }
    return dest;
}

char* std_strncat(char* dest, uint_size num, const char* src, uint_size count) {
#if VORN_CSTD_CHECKED_BUILD
    VORN_CSTD_CHECK(dest, "pDest", nullptr, kStrncatText);
    VORN_CSTD_CHECK(src, "pSrc", nullptr, kStrncatText);
    uint_size DestLength = std_strnlen(dest, num);
    VORN_CSTD_CHECK(num > DestLength, "num > DestLength",
                    "Trying to std_strncat to a non-null-terminated string", kStrncatText);
    // The room that is left takes the copy, and with it the truncation check.
    std_strncpy(dest + DestLength, num - DestLength, src, count);
#else
    uint_size d = std_strnlen(dest, num);
    uint_size room = num - d;
    uint_size n = std_strnlen(src, count);
    if (n < room) {
        std::memmove(dest + d, src, n);
        dest[d + n] = '\0';
    } else if (d == num) {
        // no terminator within num bytes: nothing to append to
    } else if (count == TRUNCATE) {
        std::memmove(dest + d, src, room - 1);
        dest[num - 1] = '\0';
    } else {
        dest[d] = '\0';
    }
#endif
    return dest;
}

char* std_strncpy_utf8(char* dest, uint_size num, const char* src, uint_size count) {
    uint_size n = std_strnlen(src, count);
    if (num != 0 && num <= n) {
        // Does not fit: cut before the sequence that holds the byte at num - 1.
        uint_size cut = num - 1;
        if (num != 1 && IsContinuationByte(src[cut])) {
            while (cut > 0 && IsContinuationByte(src[cut])) --cut;
            // cut is now at the lead byte of that sequence (or at 0: nothing whole fits)
        }
        count = cut;
    }
    return std_strncpy(dest, num, src, count);
}

void std_memcpy(void* dest, uint_size destSize, const void* src, uint_size count) {
    VORN_CSTD_CHECK(dest, "pDest", nullptr, kMemcpyText);
    VORN_CSTD_CHECK(src, "pSrc", nullptr, kMemcpyText);
    VORN_CSTD_CHECK(count <= destSize, "count <= destSize", "Buffer is too small.", kMemcpyText);
    std::memcpy(dest, src, count <= destSize ? count : destSize);
}

int std_strcmp(const char* a, const char* b) { return std::strcmp(a, b); }
int std_strncmp(const char* a, const char* b, uint_size n) { return std::strncmp(a, b, n); }

int std_stricmp(const char* a, const char* b) {
    if (!a || !b) return a == b ? 0 : 1;
    return strcasecmp(a, b);
}

int std_strnicmp(const char* a, const char* b, uint_size n) {
    if (!a || !b) return a == b ? 0 : 1;
    return strncasecmp(a, b, n);
}

namespace {
template <int (*Convert)(int)>
int ConvertCase(char* s, uint_size size) {
    if (!s || size == 0) return 1;
    for (uint_size i = 0; i < size; ++i) s[i] = static_cast<char>(Convert(static_cast<unsigned char>(s[i])));
    return 0;
}
int ToLowerAscii(int c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }
int ToUpperAscii(int c) { return c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c; }
}  // namespace

int std_strlwr(char* s, uint_size size) { return ConvertCase<ToLowerAscii>(s, size); }
int std_strupr(char* s, uint_size size) { return ConvertCase<ToUpperAscii>(s, size); }

const char* std_strchr(const char* s, int c) { return std::strchr(s, c); }
char* std_strchr(char* s, int c) { return std::strchr(s, c); }
const char* std_strrchr(const char* s, int c) { return std::strrchr(s, c); }
char* std_strrchr(char* s, int c) { return std::strrchr(s, c); }
const char* std_strstr(const char* s, const char* sub) { return std::strstr(s, sub); }
char* std_strstr(char* s, const char* sub) { return std::strstr(s, sub); }

const char* std_strrstr(const char* s, const char* sub) {
    if (!s || !sub) return nullptr;
    size_t length = std::strlen(s);
    size_t subLength = std::strlen(sub);
    if (subLength > length) return nullptr;
    for (size_t i = length - subLength + 1; i-- > 0;)
        if (std::memcmp(s + i, sub, subLength) == 0) return s + i;
    return nullptr;
}

char* std_strrstr(char* s, const char* sub) {
    return const_cast<char*>(std_strrstr(static_cast<const char*>(s), sub));
}

char* std_strreplace(char* s, char from, char to) {
    for (char* p = s; *p; ++p)
        if (*p == from) *p = to;
    return s;
}

uint_size std_wcslen(const wchar_t* s) { return static_cast<uint_size>(std::wcslen(s)); }
wchar_t* std_wcscat(wchar_t* dest, const wchar_t* src) { return std::wcscat(dest, src); }
wchar_t* std_wcscpy(wchar_t* dest, const wchar_t* src) { return std::wcscpy(dest, src); }

wchar_t* std_wcscat(wchar_t* dest, uint_size size, const wchar_t* src) {
    Quor::Platform::WcsLCat(dest, src, size);
    return dest;
}

wchar_t* std_wcscpy(wchar_t* dest, uint_size size, const wchar_t* src) {
    Quor::Platform::WcsLCopy(dest, src, size);
    return dest;
}

const wchar_t* std_wcschr(const wchar_t* s, wchar_t c) { return std::wcschr(s, c); }
wchar_t* std_wcschr(wchar_t* s, wchar_t c) { return std::wcschr(s, c); }

int std_wcsicmp(const wchar_t* a, const wchar_t* b) {
    // Same order as comparing lowered copies with wcscmp, without making the copies.
    for (;; ++a, ++b) {
        wchar_t x = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(*a)));
        wchar_t y = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(*b)));
        if (x != y) return x < y ? -1 : 1;
        if (x == L'\0') return 0;
    }
}

wchar_t* std_wcsdup(const wchar_t* s) {
    size_t bytes = (std::wcslen(s) + 1) * sizeof(wchar_t);
    auto* copy = static_cast<wchar_t*>(std_malloc(bytes));
    if (copy) std::memcpy(copy, s, bytes);
    return copy;
}

}  // namespace Vorn
