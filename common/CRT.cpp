#include "common/CRT.h"

#include <cerrno>
#include <stdexcept>
#include <string>

#include <fcntl.h>

#include "common/Log.h"
#include "common/SystemErrorText.h"
#include "common/TreePath.h"
#include "foundation/CStd/CStd.h"

namespace Quor::Common {

namespace {

// A stream on a file of the install tree, opened without following any link (TreePath.h): the
// C mode's meaning ("r", "w", "a", each with "+"; "x" for a new file only) as open() flags.
FILE* OpenInTree(const char* path, const char* mode) {
    const std::string text = mode;
    const bool plus = text.find('+') != std::string::npos;
    int flags = 0;
    const char* streamMode = nullptr;
    switch (text.empty() ? '\0' : text[0]) {
        case 'r': flags = plus ? O_RDWR : O_RDONLY; streamMode = plus ? "r+" : "r"; break;
        case 'w': flags = (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC; streamMode = plus ? "w+" : "w"; break;
        case 'a': flags = (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_APPEND; streamMode = plus ? "a+" : "a"; break;
        default: errno = EINVAL; return nullptr;
    }
    if (text.find('x') != std::string::npos) flags |= O_EXCL;
    Vorn::UniqueFd fd = TreePath::OpenFile(path, flags);
    if (!fd.IsValid()) return nullptr;
    FILE* stream = ::fdopen(fd.Get(), streamMode);
    if (stream) fd.Release();
    return stream;
}

FILE* OpenNative(const char* path, const char* mode) {
    if (TreePath::Contains(path)) return OpenInTree(path, mode);
    return Vorn::std_fopen(path, mode);
}

// The text for a failure: the system's text of the error number, or a description when the
// failure left no error number.
std::string FailureText(int error, const char* withoutError) {
    return error != 0 ? SystemErrorText(error) : std::string(withoutError);
}

[[noreturn]] void Fail(const char* tag, const std::string& text) {
    Log::Internal::PrintTagged(Log::ERROR, tag, text.c_str());
    throw std::runtime_error(text);
}

unsigned long Address(const void* p) {
    return static_cast<unsigned long>(reinterpret_cast<uintptr_t>(p));
}

}  // namespace

const char* const CRTThrows::ORIGIN_TO_STRING[3] = {"SEEK_SET", "SEEK_CUR", "SEEK_END"};

errno_t CRT::fopen_s(FILE** out, const char* path, const char* mode) {
    static const char* const TAG = "errno_t Quor::Common::CRT::fopen_s(FILE **, const char *, const char *)";
    *out = nullptr;
    if (!path || !mode) {
        QUOR_LOG_TAG(Log::ERROR, TAG, "(\"%s\", \"%s\") failed: %s", path ? path : "", mode ? mode : "",
                     SystemErrorText(EINVAL).c_str());
        return EINVAL;
    }
    errno = 0;
    *out = OpenNative(path, mode);
    if (*out) return 0;
    const int error = errno;
    if (error != 0) Log::Internal::LogERRNO(TAG);
    QUOR_LOG_TAG(Log::ERROR, TAG, "(\"%s\", \"%s\") failed: %s", path, mode,
                 FailureText(error, "the file could not be opened").c_str());
    // A failed open is never reported as 0, also when it left no error number.
    return error != 0 ? error : EIO;
}

FILE* CRT::fopen(const char* path, const char* mode) {
    static const char* const TAG = "FILE *Quor::Common::CRT::fopen(const char *, const char *)";
    if (!path || !mode) {
        QUOR_LOG_TAG(Log::ERROR, TAG, "(\"%s\", \"%s\") failed: %s", path ? path : "", mode ? mode : "",
                     SystemErrorText(EINVAL).c_str());
        errno = EINVAL;
        return nullptr;
    }
    errno = 0;
    FILE* stream = OpenNative(path, mode);
    if (stream) return stream;
    const int error = errno;
    if (error != 0) Log::Internal::LogERRNO(TAG);
    QUOR_LOG_TAG(Log::ERROR, TAG, "(\"%s\", \"%s\") failed: %s", path, mode,
                 FailureText(error, "the file could not be opened").c_str());
    return nullptr;
}

FILE* CRTThrows::fopen(const char* path, const char* mode) {
    static const char* const TAG = "FILE *Quor::Common::CRTThrows::fopen(const char *, const char *)";
    try {
        FILE* stream = nullptr;
        const errno_t error = CRT::fopen_s(&stream, path, mode);
        if (error != 0) {
            Log::Internal::LogERRNO(TAG);
            Fail(TAG, SystemErrorText(error));
        }
        return stream;
    } catch (...) {
        QUOR_LOG_TAG(Log::ERROR, TAG, "(%s, %s)", path ? path : "", mode ? mode : "");
        throw;
    }
}

SIZE_T CRTThrows::fwrite(const void* data, SIZE_T size, SIZE_T count, FILE* stream) {
    static const char* const TAG =
        "SIZE_T Quor::Common::CRTThrows::fwrite(const void *, SIZE_T, SIZE_T, FILE *)";
    try {
        errno = 0;
        const SIZE_T written = stream ? std::fwrite(data, size, count, stream) : 0;
        if (written < count) Fail(TAG, FailureText(errno, "short write"));
        return count;
    } catch (...) {
        QUOR_LOG_TAG(Log::ERROR, TAG, "(0x%08lx, %zu, %zu, 0x%08lx)", Address(data), size, count,
                     Address(stream));
        throw;
    }
}

SIZE_T CRTThrows::fread(void* data, SIZE_T size, SIZE_T count, FILE* stream) {
    static const char* const TAG = "SIZE_T Quor::Common::CRTThrows::fread(void *, SIZE_T, SIZE_T, FILE *)";
    try {
        errno = 0;
        const SIZE_T read = stream ? std::fread(data, size, count, stream) : 0;
        if (read < count) {
            const bool atEnd = stream && std::feof(stream);
            Fail(TAG, FailureText(errno, atEnd ? "unexpected end of file" : "short read"));
        }
        return count;
    } catch (...) {
        QUOR_LOG_TAG(Log::ERROR, TAG, "(0x%08lx, %zu, %zu, 0x%08lx)", Address(data), size, count,
                     Address(stream));
        throw;
    }
}

long CRTThrows::ftell(FILE* stream) {
    static const char* const TAG = "long Quor::Common::CRTThrows::ftell(FILE *)";
    try {
        errno = 0;
        const long position = stream ? std::ftell(stream) : -1;
        if (position == -1) Fail(TAG, FailureText(errno, "no position"));
        return position;
    } catch (...) {
        QUOR_LOG_TAG(Log::ERROR, TAG, "(0x%08lx)", Address(stream));
        throw;
    }
}

void CRTThrows::fseek(FILE* stream, long offset, int origin) {
    static const char* const TAG = "void Quor::Common::CRTThrows::fseek(FILE *, long, int)";
    try {
        errno = 0;
        if (!stream || std::fseek(stream, offset, origin) != 0) Fail(TAG, FailureText(errno, "seek failed"));
    } catch (...) {
        const char* originText = origin >= 0 && origin <= 2 ? ORIGIN_TO_STRING[origin] : "UNKNOWN_ORIGIN";
        QUOR_LOG_TAG(Log::ERROR, TAG, "(0x%08lx, %ld, %s)", Address(stream), offset, originText);
        throw;
    }
}

}  // namespace Quor::Common
