#pragma once
// String functions of the bounded runtime: lengths, copies, appends, comparisons, searches, and
// their wide (32-bit wchar_t) forms. See CStd.h for the conventions. No state; thread-safe.
#include <cstddef>

#include "foundation/CStd/CStdTypes.h"

namespace Vorn {

uint_size std_strlen(const char* s);
// The smaller of the length of s and max; never reads past max bytes.
uint_size std_strnlen(const char* pStr, uint_size max);

// Unbounded append and copy.
char* std_strcat(char* dest, const char* src);
char* std_strcpy(char* dest, const char* src);
// Append / copy cut to fit in size bytes, always terminated (nothing written when size is 0).
char* std_strcat(char* dest, uint_size size, const char* src);
char* std_strcpy(char* dest, uint_size size, const char* src);

// Copies at most count bytes of src into dest (num bytes). Fits: copied and terminated.
// Does not fit: with count TRUNCATE the first num - 1 bytes and a terminator, otherwise dest
// becomes empty. num 0 writes nothing.
char* std_strncpy(char* dest, uint_size num, const char* src, uint_size count);
// Appends at most count bytes of src to the string in dest (num bytes), with the rule of
// std_strncpy for the room left; a dest without a terminator within num bytes is left alone,
// and with a count other than TRUNCATE a text that does not fit leaves dest as it was.
char* std_strncat(char* dest, uint_size num, const char* src, uint_size count);
// As std_strncpy, but a text that does not fit is always cut, and only before a whole UTF-8
// sequence: the result is the longest prefix of whole sequences that fits in num - 1 bytes.
char* std_strncpy_utf8(char* dest, uint_size num, const char* src, uint_size count);

// Copies count bytes, but never more than destSize (the asserting build stops on count > destSize).
void std_memcpy(void* dest, uint_size destSize, const void* src, uint_size count);

int std_strcmp(const char* a, const char* b);
int std_strncmp(const char* a, const char* b, uint_size n);
// Case-insensitive (ASCII). A null pointer: 0 when both are null, else 1.
int std_stricmp(const char* a, const char* b);
int std_strnicmp(const char* a, const char* b, uint_size n);

// Lower / raise every letter among exactly the first size bytes (the terminator does not stop
// the walk). Returns 1 when s is null or size is 0, else 0.
int std_strlwr(char* s, uint_size size);
int std_strupr(char* s, uint_size size);

char* std_strchr(char* s, int c);
const char* std_strchr(const char* s, int c);
char* std_strrchr(char* s, int c);
const char* std_strrchr(const char* s, int c);
char* std_strstr(char* s, const char* sub);
const char* std_strstr(const char* s, const char* sub);
// Start of the last occurrence of sub in s; null when either is null or sub is longer than s;
// an empty sub gives the terminator of s.
char* std_strrstr(char* s, const char* sub);
const char* std_strrstr(const char* s, const char* sub);
// Replaces every byte `from` by `to` in place; returns s.
char* std_strreplace(char* s, char from, char to);

// Wide strings: size counts wchar_t units.
uint_size std_wcslen(const wchar_t* s);
wchar_t* std_wcscat(wchar_t* dest, const wchar_t* src);
wchar_t* std_wcscpy(wchar_t* dest, const wchar_t* src);
wchar_t* std_wcscat(wchar_t* dest, uint_size size, const wchar_t* src);
wchar_t* std_wcscpy(wchar_t* dest, uint_size size, const wchar_t* src);
wchar_t* std_wcschr(wchar_t* s, wchar_t c);
const wchar_t* std_wcschr(const wchar_t* s, wchar_t c);
// Case-insensitive wide comparison (compares the lowered texts, as wcscmp would).
int std_wcsicmp(const wchar_t* a, const wchar_t* b);
// A copy from std_malloc (null when out of memory); free it with std_free.
wchar_t* std_wcsdup(const wchar_t* s);

}  // namespace Vorn
