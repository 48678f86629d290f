#pragma once
// Wrappers around the C library's stream functions that log their failures.
//
// CRT opens files and reports failure through its result (nothing is thrown). CRTThrows opens,
// reads, writes, seeks and tells, and turns every failure into std::runtime_error carrying the
// system's text of the error, after logging two ERROR lines (the text, then the arguments); a
// short read or write (also at the end of the file) is a failure. The stream is never closed by
// these functions. A file of the install tree is opened without following any symbolic link
// (TreePath.h: a link at its place is removed as damage; a file made anew is made with O_EXCL).
// Reentrant.
#include <cstdio>

#include "foundation/Types.h"

namespace Quor::Common {

using errno_t = int;

class CRT {
public:
    // The stream, or null (logged).
    static FILE* fopen(const char* path, const char* mode);
    // 0, or the error number (never 0 when no stream was opened); *out = the stream or null.
    static errno_t fopen_s(FILE** out, const char* path, const char* mode);
};

class CRTThrows {
public:
    static const char* const ORIGIN_TO_STRING[3];  // "SEEK_SET", "SEEK_CUR", "SEEK_END"

    static FILE* fopen(const char* path, const char* mode);
    static SIZE_T fwrite(const void* data, SIZE_T size, SIZE_T count, FILE* stream);  // always count
    static SIZE_T fread(void* data, SIZE_T size, SIZE_T count, FILE* stream);         // always count
    static long ftell(FILE* stream);
    static void fseek(FILE* stream, long offset, int origin);
};

}  // namespace Quor::Common
