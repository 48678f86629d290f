#pragma once
// Formatting, number conversion and text/wide conversion of the bounded runtime. See CStd.h.
// No state; thread-safe (the number parsers follow the C locale functions they forward to).
#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "foundation/CStd/CStdTypes.h"

#define VORN_PRINTF_FORMAT(f, a) __attribute__((format(printf, f, a)))
#define VORN_SCANF_FORMAT(f, a) __attribute__((format(scanf, f, a)))

namespace Vorn {

// Unbounded; the result of vsprintf, any negative result as -1.
int std_sprintf(char* dest, const char* fmt, ...) VORN_PRINTF_FORMAT(2, 3);
// The length written, or -1 when the text was cut (length not below size) or on error.
// dest is terminated whenever size is not 0.
int std_snprintf(char* dest, uint_size size, const char* fmt, ...) VORN_PRINTF_FORMAT(3, 4);
// The full length of the text even when it was cut; -1 on error. dest is terminated whenever
// size is not 0.
int std_vsprintf(char* dest, uint_size size, const char* fmt, va_list args) VORN_PRINTF_FORMAT(3, 0);
// Length the formatted text needs, terminator not counted.
int std_vscprintf(const char* fmt, va_list args) VORN_PRINTF_FORMAT(1, 0);
int std_sscanf(const char* s, const char* fmt, ...) VORN_SCANF_FORMAT(2, 3);

// Wide formatting (vswprintf); size in wchar_t units; -1 when cut or on error, and dest is
// terminated whenever size is not 0.
int std_swprintf(wchar_t* dest, uint_size size, const wchar_t* fmt, ...);
int std_vswprintf(wchar_t* dest, uint_size size, const wchar_t* fmt, va_list args);

// Conversions through the C library (mbstowcs / wcstombs); size in destination elements.
// The result is the C library's; dest is terminated whenever it is given and size is not 0.
size_t std_mbstowcs(wchar_t* dest, uint_size size, const char* src);
size_t std_wcstombs(char* dest, uint_size size, const wchar_t* src);

int std_atoi(const char* s);
// Decimal text to a 32-bit number (leading blanks and a sign accepted), saturated at the limits.
int32_t std_atol(const char* s);
double std_atof(const char* s);
// Decimal wide text to a 32-bit number, saturated at the limits.
int std_watoi(const wchar_t* s);

// Signed value to text in radix 2..36 (lower-case digits, '-' for a negative value in any
// radix); another radix gives the empty text. buf must hold 34 bytes. Returns buf.
char* std_itoa(int32_t value, char* buf, int radix);
// Unsigned value to text (no sign); buf must hold 33 bytes. Returns buf.
char* std_utoa(uint32_t value, char* buf, int radix);
// Unsigned value to text in size bytes. Returns 0; -1 with buf emptied (when size is not 0) for
// a radix outside 2..36 or a text that does not fit.
int std_utoa(uint32_t value, char* buf, uint_size size, int radix);
// Signed 64-bit value to text: radix 16 as "%llx", radix 10 as "%lld"; any other radix leaves
// buf untouched. buf must hold 21 bytes. Returns buf.
char* std_ltoa(int64_t value, char* buf, int radix);

// Text of an error number (strerror_r), always terminated when size is not 0. Returns 0, or an
// error number when buf is null or size is 0. Two argument orders, one operation.
int std_strerror(char* buf, uint_size size, int errnum);
int std_strerror(int errnum, char* buf, uint_size size);

// Debug output; does nothing.
void dbg_output(const char* text);

}  // namespace Vorn
