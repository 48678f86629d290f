#pragma once
// TODO(core): temporary stand-ins for the log, version texts, text-line helpers, buffers, stdio
// wrappers and the root folder that are being written on branch `core`. Only the manifest files include this header; it is deleted as soon as
// the real ones land on main. Each stand-in has the name and signature of the real one.
#include <strings.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <unistd.h>

#include "foundation/CStd/CStdFiles.h"
#include "foundation/CStd/CStdStrings.h"
#include "foundation/Types.h"

typedef size_t SIZE_T;


namespace Quor::Log {
typedef int32_t TYPE;
constexpr TYPE USER = 0, ERROR = 1, WARNING = 2, DEBUG = 3, VERBOSE = 4;
class IWrite {
public:
    virtual void Write(TYPE type, const char* function, const char* text) = 0;
};
namespace PendingState {
inline TYPE g_Level = ERROR;
inline IWrite* g_Write = nullptr;
}  // namespace PendingState
inline void SetLogLevel(TYPE t) { PendingState::g_Level = t; }
inline void SetIWrite(IWrite* w) { PendingState::g_Write = w; }
namespace Internal {
inline void PendingPrint(TYPE type, const char* function, const char* fmt, ...)
    __attribute__((format(printf, 3, 4)));
inline void PendingPrint(TYPE type, const char* function, const char* fmt, ...) {
    if (type > PendingState::g_Level) return;
    char text[4096];
    va_list args;
    va_start(args, fmt);
    vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    if (PendingState::g_Write) PendingState::g_Write->Write(type, function, text);
    if (type <= ERROR) fprintf(stderr, "(%d) %s: %s\n", type, function, text);
}
inline HRESULT LogFError(const char* function, FILE* stream) {
    if (stream && ferror(stream)) {
        PendingPrint(ERROR, function, "stream error");
        return E_FAIL;
    }
    PendingPrint(DEBUG, function, "no stream error");
    return S_OK;
}
inline HRESULT LogGetLastError(const char* function) {
    int e = errno;
    if (e == 0) return S_OK;
    PendingPrint(ERROR, function, "%s", strerror(e));
    return E_FAIL;
}
inline HRESULT LogERRNO(const char* function) { return LogGetLastError(function); }
}  // namespace Internal
}  // namespace Quor::Log

#define QUOR_LOG(level, ...) ::Quor::Log::Internal::PendingPrint((level), __PRETTY_FUNCTION__, __VA_ARGS__)

namespace Quor::API {
class IBuffer {
public:
    virtual void* GetBufferPointer() = 0;
    virtual const void* GetBufferPointer() const = 0;
    virtual DWORD GetBufferSize() const = 0;
    virtual ~IBuffer() = default;
};
}  // namespace Quor::API

namespace Quor::Common {

class BufferMalloc : public API::IBuffer {
public:
    BufferMalloc(unsigned size, void* data) : m_data(data ? data : malloc(size ? size : 1)), m_size(size) {}
    ~BufferMalloc() override { free(m_data); }
    void* GetBufferPointer() override { return m_data; }
    const void* GetBufferPointer() const override { return m_data; }
    DWORD GetBufferSize() const override { return m_size; }

private:
    void* m_data;
    DWORD m_size;
};

struct CRT {
    static int fopen_s(FILE** out, const char* path, const char* mode) {
        errno = 0;
        *out = Vorn::std_fopen(path, mode);
        return *out ? 0 : errno;
    }
};

struct ConvertVersion {
    static HRESULT ToNumber(const std::string& text, DWORD& version) {
        int a, b, c, d;
        if (sscanf(text.c_str(), "%d.%d.%d.%d", &a, &b, &c, &d) != 4) return E_FAIL;
        for (int p : {a, b, c, d})
            if (static_cast<unsigned>(p) > 255) return E_FAIL;
        version = (DWORD(a) << 24) | (DWORD(b) << 16) | (DWORD(c) << 8) | DWORD(d);
        return S_OK;
    }
    static std::string& ToString(DWORD v, std::string& text) {
        char buf[32];
        snprintf(buf, sizeof buf, "%u.%u.%u.%u", v >> 24, (v >> 16) & 255, (v >> 8) & 255, v & 255);
        text = buf;
        return text;
    }
};

struct TextFileHelper {
    // Reads one line; the end of the file is a failure (as the fixed helper will report it).
    static HRESULT ReadString(FILE* stream, std::string& text, SIZE_T maxLength) {
        std::string buf(maxLength, '\0');
        if (!fgets(buf.data(), static_cast<int>(maxLength), stream)) return E_FAIL;
        buf.resize(strlen(buf.c_str()));
        while (!buf.empty() && (buf.back() == '\r' || buf.back() == '\n')) buf.pop_back();
        text = buf;
        return S_OK;
    }
    static HRESULT WriteString(FILE* stream, const std::string& text) {
        return fputs((text + "\n").c_str(), stream) < 0 ? E_FAIL : S_OK;
    }
    static HRESULT ReadDWORD(FILE* stream, DWORD& value) {
        char buf[256];
        if (!fgets(buf, sizeof buf, stream)) return E_FAIL;
        char* end = nullptr;
        value = static_cast<DWORD>(strtoul(buf, &end, 0));
        return end == buf ? E_FAIL : S_OK;
    }
    static HRESULT WriteDWORD(FILE* stream, DWORD value) {
        return fprintf(stream, "%u\n", value) < 0 ? E_FAIL : S_OK;
    }
    static HRESULT ReadVersion(FILE* stream, DWORD& version) {
        char buf[256];
        if (!fgets(buf, sizeof buf, stream)) return E_FAIL;
        return ConvertVersion::ToNumber(buf, version);
    }
    static HRESULT WriteVersion(FILE* stream, DWORD version) {
        std::string t;
        return WriteString(stream, ConvertVersion::ToString(version, t));
    }
};

struct LocalRootFolder {
    static std::string Get() {
        char buf[1024];
        if (!getcwd(buf, sizeof buf)) return {};
        std::string cwd(buf);
        size_t at = cwd.rfind("QUOR/");
        return at == std::string::npos ? cwd : cwd.substr(0, at + 4);
    }
};

namespace StringHelper {
inline bool CaseInsensitivePredicate(const std::string& a, const std::string& b) {
    return Vorn::std_stricmp(a.c_str(), b.c_str()) < 0;
}
}  // namespace StringHelper

}  // namespace Quor::Common
