#pragma once
// Helpers shared by the readers of the comma-separated manifest lines (package and patch
// manifests): the loop over a file's lines, the commas of a line and its decimal fields.
// Stateless; thread-safe.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "foundation/Types.h"

namespace Quor::Common::ManifestLines {

// Hands every line of stream (at most 1023 characters each; a longer one comes in pieces) with
// its number, from 1, to onLine, until onLine fails (its result is returned) or the file ends
// (S_OK). A failed read is logged under tag as "Failure while reading from \"<where>\" line <n>."
// and returned.
HRESULT ForEachLine(const char* tag, FILE* stream, const char* where,
                    const std::function<HRESULT(int, const std::string&)>& onLine);

// The number of the line after line n: n + 1, but never past INT_MAX (a file of more lines keeps
// that number instead of overflowing).
inline int NextLineNumber(int n) { return n < INT_MAX ? n + 1 : n; }

// The positions of the first (at most) four commas of line go to commas; returns how many.
size_t FindCommas(const std::string& line, size_t (&commas)[4]);

// A decimal field as the C library's atoi reads it (white space first, an optional sign, digits
// up to the first other character, 0 without digits), kept as the 32-bit pattern of the number:
// "-1" and "4294967295" both give 0xFFFFFFFF, so values written with "%d" read back unchanged.
inline DWORD ParseDecimal(const char* text) {
    return static_cast<DWORD>(static_cast<uint64_t>(strtoll(text, nullptr, 10)));
}

}  // namespace Quor::Common::ManifestLines
