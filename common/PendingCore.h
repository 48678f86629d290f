#pragma once
// TODO(core): temporary stand-ins, with the names and signatures of the real ones, for the log,
// version texts, text-line helpers, buffers, stdio wrappers and the root folder that are being
// written on branch `core`. Only the manifest files include this header; it is deleted (and its
// includes replaced by the real headers) as soon as those land on main.
#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "foundation/CStd/CStdFiles.h"
#include "foundation/CStd/CStdStrings.h"
#include "foundation/Types.h"

typedef size_t SIZE_T;

namespace Quor::Log {
enum TYPE : int32_t { USER = 0, ERROR = 1, WARNING = 2, DEBUG = 3, VERBOSE = 4 };
class IWrite {
public:
    virtual void Write(TYPE type, const char* function, const char* text) = 0;

protected:
    ~IWrite() = default;
};
namespace PendingState {
inline TYPE g_Level = ERROR;
inline IWrite* g_Write = nullptr;
}  // namespace PendingState
inline void SetLogLevel(TYPE t) {
    PendingState::g_Level = t;
}
inline void SetIWrite(IWrite* w) {
    PendingState::g_Write = w;
}
namespace Internal {
inline bool IsEnabled(TYPE type) {
    return type <= PendingState::g_Level;
}
inline void PrintTagged(TYPE type, const char* function, const char* text) {
    if (!IsEnabled(type)) return;
    const int saved = errno;
    if (PendingState::g_Write) PendingState::g_Write->Write(type, function, text);
    if (type <= ERROR) fprintf(stderr, "(%d) %s: %s\n", type, function, text);
    errno = saved;
}
inline void PrintFTagged(TYPE type, const char* function, const char* fmt, ...)
    __attribute__((format(printf, 3, 4)));
inline void PrintFTagged(TYPE type, const char* function, const char* fmt, ...) {
    char text[4096];
    va_list args;
    va_start(args, fmt);
    vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    PrintTagged(type, function, text);
}
inline HRESULT LogFError(const char* function, FILE* stream) {
    if (stream && ferror(stream)) {
        PrintTagged(ERROR, function, "stream error");
        return E_FAIL;
    }
    PrintTagged(DEBUG, function, "no stream error");
    return S_OK;
}
inline HRESULT LogGetLastError(const char* function) {
    const int e = errno;
    if (e == 0) return S_OK;
    PrintTagged(ERROR, function, strerror(e));
    errno = e;
    return E_FAIL;
}
inline HRESULT LogERRNO(const char* function) {
    return LogGetLastError(function);
}
}  // namespace Internal
}  // namespace Quor::Log

#define QUOR_LOG_TAG(level, tag, ...)                                               \
    do {                                                                            \
        const ::Quor::Log::TYPE quorLogLevel_ = (level);                            \
        if (::Quor::Log::Internal::IsEnabled(quorLogLevel_))                        \
            ::Quor::Log::Internal::PrintFTagged(quorLogLevel_, (tag), __VA_ARGS__); \
    } while (0)
#define QUOR_LOG(level, ...) QUOR_LOG_TAG(level, __PRETTY_FUNCTION__, __VA_ARGS__)

namespace Quor::API {
class IBuffer {
public:
    virtual void* GetBufferPointer() = 0;
    virtual const void* GetBufferPointer() const = 0;
    virtual uint32_t GetBufferSize() const = 0;
    virtual ~IBuffer() = default;
};
}  // namespace Quor::API

namespace Quor::Common {

class BufferMalloc final : public API::IBuffer {
public:
    BufferMalloc(uint32_t size, void* data) : m_data(data ? data : malloc(size ? size : 1)), m_size(size) {}
    ~BufferMalloc() override { free(m_data); }
    void* GetBufferPointer() override { return m_data; }
    const void* GetBufferPointer() const override { return m_data; }
    uint32_t GetBufferSize() const override { return m_size; }

private:
    void* m_data;
    uint32_t m_size;
};

inline HRESULT LastErrorFailure(const char* tag) {
    HRESULT hr = Log::Internal::LogGetLastError(tag);
    return SUCCEEDED(hr) ? E_FAIL : hr;
}

struct StreamCloser {
    void operator()(FILE* stream) const {
        if (stream) std::fclose(stream);
    }
};
class UniqueFile {
public:
    UniqueFile() = default;
    explicit UniqueFile(FILE* stream) : m_stream(stream) {}
    FILE* get() const { return m_stream.get(); }
    explicit operator bool() const { return m_stream != nullptr; }
    void reset(FILE* stream = nullptr) { m_stream.reset(stream); }
    FILE* release() { return m_stream.release(); }
    bool Close() {
        FILE* stream = m_stream.release();
        return stream && std::fclose(stream) == 0;
    }

private:
    std::unique_ptr<FILE, StreamCloser> m_stream;
};

using errno_t = int;
struct CRT {
    static errno_t fopen_s(FILE** out, const char* path, const char* mode) {
        errno = 0;
        *out = Vorn::std_fopen(path, mode);
        if (*out) return 0;
        return errno ? errno : EIO;
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
    static std::string ToString(DWORD v) {
        char buf[32];
        snprintf(buf, sizeof buf, "%u.%u.%u.%u", v >> 24, (v >> 16) & 255, (v >> 8) & 255, v & 255);
        return buf;
    }
    static std::string& ToString(DWORD v, std::string& text) { return text = ToString(v); }
};

struct TextFileHelper {
    static constexpr HRESULT E_END_OF_FILE = static_cast<HRESULT>(0x80070026u);
    static HRESULT ReadString(FILE* stream, std::string& text, SIZE_T maxLength) {
        std::string buf(maxLength, '\0');
        if (!fgets(buf.data(), static_cast<int>(maxLength), stream))
            return ferror(stream) ? E_FAIL : E_END_OF_FILE;
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
        if (!fgets(buf, sizeof buf, stream)) return ferror(stream) ? E_FAIL : E_END_OF_FILE;
        char* end = nullptr;
        value = static_cast<DWORD>(strtoul(buf, &end, 0));
        return end == buf ? E_FAIL : S_OK;
    }
    static HRESULT WriteDWORD(FILE* stream, DWORD value) {
        return fprintf(stream, "%u\n", value) < 0 ? E_FAIL : S_OK;
    }
    static HRESULT ReadVersion(FILE* stream, DWORD& version) {
        char buf[256];
        if (!fgets(buf, sizeof buf, stream)) return ferror(stream) ? E_FAIL : E_END_OF_FILE;
        return ConvertVersion::ToNumber(buf, version);
    }
    static HRESULT WriteVersion(FILE* stream, DWORD version) {
        return WriteString(stream, ConvertVersion::ToString(version));
    }
};

struct LocalRootFolder {
    static std::string Get() {
        char buf[1024];
        if (!getcwd(buf, sizeof buf)) return ".";
        std::string cwd(buf);
        size_t at = cwd.rfind("QUOR/");
        return at == std::string::npos ? cwd : cwd.substr(0, at + 4);
    }
};

}  // namespace Quor::Common
