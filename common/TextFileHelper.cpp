#include "common/TextFileHelper.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "common/ConvertVersion.h"
#include "common/LastError.h"
#include "common/Log.h"
#include "foundation/CStd/CStd.h"

namespace Quor::Common {

namespace {

const char* const READ_STRING_TAG =
    "HRESULT Quor::Common::TextFileHelper::ReadString(FILE *const, std::string &, const SIZE_T)";
const char* const WRITE_STRING_TAG =
    "HRESULT Quor::Common::TextFileHelper::WriteString(FILE *const, const std::string &)";
const char* const READ_DWORD_TAG = "HRESULT Quor::Common::TextFileHelper::ReadDWORD(FILE *const, DWORD &)";
const char* const WRITE_DWORD_TAG =
    "HRESULT Quor::Common::TextFileHelper::WriteDWORD(FILE *const, const DWORD)";
const char* const READ_VERSION_TAG =
    "HRESULT Quor::Common::TextFileHelper::ReadVersion(FILE *const, DWORD &)";
const char* const WRITE_VERSION_TAG =
    "HRESULT Quor::Common::TextFileHelper::WriteVersion(FILE *const, const DWORD)";

HRESULT EndOfFile(const char* tag) {
    QUOR_LOG_TAG(Log::DEBUG, tag, "End of file");
    return TextFileHelper::E_END_OF_FILE;
}

// Reads one line of at most 255 characters into line (256 bytes) for a number or a version.
HRESULT ReadNumberLine(FILE* stream, char (&line)[256], const char* tag) {
    if (!stream) {
        QUOR_LOG_TAG(Log::ERROR, tag, "No stream");
        return E_POINTER;
    }
    errno = 0;
    if (std::fgets(line, sizeof line, stream)) return S_OK;
    if (!std::ferror(stream)) return EndOfFile(tag);
    HRESULT hr = LastErrorFailure(tag);
    QUOR_LOG_TAG(Log::ERROR, tag, "fgets failed");
    return hr;
}

// strtoul with base 0 as a 32-bit unsigned long has it: values beyond 32 bits saturate, a
// negative number is negated modulo 2^32.
DWORD ToDWORD(const char* text, char** end) {
    errno = 0;
    unsigned long long value = std::strtoull(text, end, 0);
    const bool range = errno == ERANGE;
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    if (*p == '-') {
        const unsigned long long magnitude = 0ull - value;
        if (range || magnitude > 0xFFFFFFFFull) return 0xFFFFFFFFu;
        return static_cast<DWORD>(0u - static_cast<DWORD>(magnitude));
    }
    if (range || value > 0xFFFFFFFFull) return 0xFFFFFFFFu;
    return static_cast<DWORD>(value);
}

HRESULT WriteLine(FILE* stream, const std::string& line, const char* tag) {
    if (!stream) {
        QUOR_LOG_TAG(Log::ERROR, tag, "No stream");
        return E_POINTER;
    }
    errno = 0;
    if (std::fputs(line.c_str(), stream) >= 0) return S_OK;
    HRESULT hr = LastErrorFailure(tag);
    QUOR_LOG_TAG(Log::ERROR, tag, "fputs failed");
    return hr;
}

}  // namespace

HRESULT TextFileHelper::ReadString(FILE* stream, std::string& text, SIZE_T maxLength) {
    if (!stream || maxLength < 2) {
        QUOR_LOG_TAG(Log::ERROR, READ_STRING_TAG, "Invalid arguments (stream %p, maxLength %zu)",
                     static_cast<void*>(stream), maxLength);
        return E_INVALIDARG;
    }
    const int size = maxLength > static_cast<SIZE_T>(INT_MAX) ? INT_MAX : static_cast<int>(maxLength);
    const size_t previousLength = text.size();
    text.resize(static_cast<size_t>(size), '\0');
    errno = 0;
    if (!std::fgets(text.data(), size, stream)) {
        text.resize(previousLength);  // the caller's text as it was
        if (!std::ferror(stream)) return EndOfFile(READ_STRING_TAG);
        Log::Internal::LogFError(READ_STRING_TAG, stream);
        QUOR_LOG_TAG(Log::ERROR, READ_STRING_TAG, "fgets failed");
        return E_FAIL;
    }
    size_t length = std::strlen(text.c_str());
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n')) --length;
    text.resize(length);
    return S_OK;
}

HRESULT TextFileHelper::WriteString(FILE* stream, const std::string& text) {
    return WriteLine(stream, text + "\n", WRITE_STRING_TAG);
}

HRESULT TextFileHelper::ReadDWORD(FILE* stream, DWORD& value) {
    char line[256];
    HRESULT hr = ReadNumberLine(stream, line, READ_DWORD_TAG);
    if (FAILED(hr)) return hr;
    char* end = nullptr;
    value = ToDWORD(line, &end);
    if (end == line) {
        QUOR_LOG_TAG(Log::ERROR, READ_DWORD_TAG, "Could not convert string to number");
        return E_FAIL;
    }
    return S_OK;
}

HRESULT TextFileHelper::WriteDWORD(FILE* stream, DWORD value) {
    char digits[64];
    errno = 0;
    if (Vorn::std_utoa(value, digits, sizeof digits, 10) != 0) {
        HRESULT hr = LastErrorFailure(WRITE_DWORD_TAG);
        QUOR_LOG_TAG(Log::ERROR, WRITE_DWORD_TAG, "_ultoa_s failed");
        return hr;
    }
    return WriteLine(stream, std::string(digits) + "\n", WRITE_DWORD_TAG);
}

HRESULT TextFileHelper::ReadVersion(FILE* stream, DWORD& version) {
    char line[256];
    HRESULT hr = ReadNumberLine(stream, line, READ_VERSION_TAG);
    if (FAILED(hr)) return hr;
    hr = ConvertVersion::ToNumber(line, version);
    if (FAILED(hr)) QUOR_LOG_TAG(Log::ERROR, READ_VERSION_TAG, "Failed to convert version string");
    return hr;
}

HRESULT TextFileHelper::WriteVersion(FILE* stream, DWORD version) {
    std::string text;
    HRESULT hr = WriteString(stream, ConvertVersion::ToString(version, text));
    if (FAILED(hr)) QUOR_LOG_TAG(Log::ERROR, WRITE_VERSION_TAG, "Failure while writing version string");
    return hr;
}

}  // namespace Quor::Common
