// Formatting and number conversion of the bounded runtime (see CStdFormat.h).
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "foundation/CStd/CStd.h"
#include "platform/StringBounds.h"

namespace Vorn {

int std_sprintf(char* dest, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    int n = std::vsprintf(dest, fmt, args);
    va_end(args);
    return n < 0 ? -1 : n;
}

int std_snprintf(char* dest, uint_size size, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    int n = std::vsnprintf(dest, size, fmt, args);
    va_end(args);
    if (n < 0 || static_cast<uint32_t>(n) >= size) return -1;
    return n;
}

int std_vsprintf(char* dest, uint_size size, const char* fmt, va_list args) {
    int n = std::vsnprintf(dest, size, fmt, args);
    return n < 0 ? -1 : n;
}

int std_vscprintf(const char* fmt, va_list args) {
    char scratch[1];
    return std::vsnprintf(scratch, sizeof scratch, fmt, args);
}

int std_sscanf(const char* s, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    int n = std::vsscanf(s, fmt, args);
    va_end(args);
    return n;
}

int std_vswprintf(wchar_t* dest, uint_size size, const wchar_t* fmt, va_list args) {
    int n = std::vswprintf(dest, size, fmt, args);
    // The C library may leave a cut text without its terminator.
    if (n < 0 && dest && size != 0) dest[size - 1] = L'\0';
    return n;
}

int std_swprintf(wchar_t* dest, uint_size size, const wchar_t* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    int n = std_vswprintf(dest, size, fmt, args);
    va_end(args);
    return n;
}

size_t std_mbstowcs(wchar_t* dest, uint_size size, const char* src) {
    size_t n = std::mbstowcs(dest, src, size);
    if (dest && size != 0 && n != static_cast<size_t>(-1) && n >= size) dest[size - 1] = L'\0';
    return n;
}

size_t std_wcstombs(char* dest, uint_size size, const wchar_t* src) {
    size_t n = std::wcstombs(dest, src, size);
    if (dest && size != 0 && n != static_cast<size_t>(-1) && n >= size) dest[size - 1] = '\0';
    return n;
}

namespace {
int32_t Saturate(long value) {
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}

// Digits are looked up at value % radix from the middle of the table, so negative remainders
// (and the most negative value) need no negation.
constexpr const char kDigits[] = "zyxwvutsrqponmlkjihgfedcba9876543210123456789abcdefghijklmnopqrstuvwxyz";
constexpr int kZeroDigit = 35;

void Reverse(char* begin, char* end) {
    while (begin < --end) {
        char c = *begin;
        *begin++ = *end;
        *end = c;
    }
}

// Writes the digits of value (no sign) and a terminator; returns the length. buf holds 33 bytes.
uint_size UnsignedText(uint32_t value, char* buf, uint32_t radix) {
    char* p = buf;
    do {
        *p++ = kDigits[kZeroDigit + value % radix];
        value /= radix;
    } while (value != 0);
    *p = '\0';
    Reverse(buf, p);
    return static_cast<uint_size>(p - buf);
}
}  // namespace

int std_atoi(const char* s) { return std::atoi(s); }

int32_t std_atol(const char* s) { return Saturate(std::strtol(s, nullptr, 10)); }

double std_atof(const char* s) { return std::strtod(s, nullptr); }

int std_watoi(const wchar_t* s) { return Saturate(std::wcstol(s, nullptr, 10)); }

char* std_itoa(int32_t value, char* buf, int radix) {
    if (radix < 2 || radix > 36) {
        buf[0] = '\0';
        return buf;
    }
    char* p = buf;
    int32_t v = value;
    do {
        *p++ = kDigits[kZeroDigit + v % radix];
        v /= radix;
    } while (v != 0);
    if (value < 0) *p++ = '-';
    *p = '\0';
    Reverse(buf, p);
    return buf;
}

char* std_utoa(uint32_t value, char* buf, int radix) {
    if (radix < 2 || radix > 36) {
        buf[0] = '\0';
        return buf;
    }
    UnsignedText(value, buf, static_cast<uint32_t>(radix));
    return buf;
}

int std_utoa(uint32_t value, char* buf, uint_size size, int radix) {
    if (radix >= 2 && radix <= 36) {
        char text[33];
        uint_size length = UnsignedText(value, text, static_cast<uint32_t>(radix));
        if (length < size) {
            std::memcpy(buf, text, length + 1);
            return 0;
        }
    }
    if (size != 0) buf[0] = '\0';
    return -1;
}

char* std_ltoa(int64_t value, char* buf, int radix) {
    if (radix == 16)
        std::sprintf(buf, "%llx", static_cast<unsigned long long>(value));
    else if (radix == 10)
        std::sprintf(buf, "%lld", static_cast<long long>(value));
    return buf;
}

int std_strerror(char* buf, uint_size size, int errnum) {
    if (!buf || size == 0) return EINVAL;
    // The GNU form may return a static text instead of filling buf.
    const char* text = strerror_r(errnum, buf, size);
    if (text != buf) Quor::Platform::StrLCopy(buf, text, size);
    return 0;
}

int std_strerror(int errnum, char* buf, uint_size size) { return std_strerror(buf, size, errnum); }

void dbg_output(const char*) {}

}  // namespace Vorn
