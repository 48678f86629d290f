#pragma once
// Size-bounded copy and append of terminated strings, which the C library here lacks.
//
// The destination size counts elements and includes the terminator. Copy and append always
// terminate when size is not 0, never write past size elements, and never read the source past
// its terminator. They return the length of the string they tried to create (the destination's
// length plus the source's for the appends), so a result >= size means the text was cut.
// A size of 0 writes nothing. No state; safe from any thread.
#include <cstddef>

namespace Quor::Platform {

size_t StrLCopy(char* dest, const char* src, size_t size);
size_t StrLCat(char* dest, const char* src, size_t size);
size_t WcsLCopy(wchar_t* dest, const wchar_t* src, size_t size);
size_t WcsLCat(wchar_t* dest, const wchar_t* src, size_t size);

}  // namespace Quor::Platform
