#pragma once
// Conversion between UTF-8 byte strings and UTF-16 code units held one per wchar_t element.
//
// Each call first fixes its source range: srcLength -1 means the whole terminated text including
// its terminator, so that the terminator is converted too; any other srcLength below 1 converts
// nothing and returns 0. With destLength below 1 (or a null dest) nothing is written and the
// result is the number of elements the conversion needs. Otherwise units are stored in order;
// once dest is full every further unit overwrites its last element, so a conversion of a
// terminated text into a destination that is too small still ends in a terminator. The result is
// the number of elements filled (at most destLength). A count that would not fit in an int gives 0.
//
// Conversions never read outside the source range. A multi-byte sequence (or a high surrogate)
// cut short by the end of the range stops the conversion there; one cut short by a zero unit
// yields nothing and the zero is converted as itself, so a terminator is never swallowed.
// All functions are pure and thread-safe.
#include <cwchar>

namespace Vorn::Unicode {

// UTF-8 to UTF-16 units. A lead byte takes its following bytes as they are (continuation bytes or
// not); any other byte of 0x80 or more becomes one unit of the byte's value; code points of 0x10000
// or more become a surrogate pair.
int UTF8ToUTF16(const char* src, int srcLength, wchar_t* dest, int destLength);

// UTF-16 units to UTF-8. Only the low 16 bits of each element are read (an element holding a
// 32-bit code point is not a code point here). A high surrogate is combined with the next element,
// whatever it holds (apart from the zero and end-of-range cases above); lone low surrogates are
// encoded like any other value. srcLength -1 means wcslen(src) + 1.
int UTF16ToUTF8(const wchar_t* src, int srcLength, char* dest, int destLength);

// The local code page is UTF-8: these are the two conversions above. defaultChar and usedDefault
// are ignored and never written.
int LocalCodePageToUTF16(const char* src, int srcLength, wchar_t* dest, int destLength);
int UTF16ToLocalCodePage(const wchar_t* src, int srcLength, char* dest, int destLength, const char* defaultChar,
                         int* usedDefault);

}  // namespace Vorn::Unicode
