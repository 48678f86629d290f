#include "api/FileUnmanaged.h"

#include <cerrno>

#include "common/CRT.h"
#include "common/Log.h"

namespace Quor::API::Impl {

using Quor::Log::ERROR;
using Quor::Log::VERBOSE;
using Quor::Log::WARNING;
namespace Internal = Quor::Log::Internal;

namespace {
constexpr const char* kNotOpen = "FileUnmanaged is not open.";
}

FileUnmanaged::FileUnmanaged(const std::string& path, const FILE_TYPE type, HRESULT& hr) : m_Path(path), m_Type(type) {
    QUOR_LOG(VERBOSE, "(\"%s\", %s)", path.c_str(), FileTypeName(type));
    hr = S_OK;
    if (Quor::Common::CRT::fopen_s(&m_Stream, path.c_str(), type == FILE_TYPE_TEXT ? "rt" : "rb") != 0 ||
        m_Stream == nullptr) {
        m_Stream = nullptr;
        hr = Internal::LogGetLastError(__PRETTY_FUNCTION__);
        if (SUCCEEDED(hr)) hr = E_FAIL;
        QUOR_LOG(WARNING, "Failed to open \"%s\".", path.c_str());
        return;  // nothing to measure on a stream that is not there
    }
    if (std::fseek(m_Stream, 0, SEEK_END) != 0) {
        Internal::LogFError(__PRETTY_FUNCTION__, m_Stream);
        QUOR_LOG(ERROR, "Failed to seek to end of file");
        hr = E_FAIL;
        return;
    }
    const long length = std::ftell(m_Stream);
    if (length < 0 || length > 0xFFFFFFFFL) {
        QUOR_LOG(ERROR, "Failed to get length of file.");
        hr = E_FAIL;
        return;
    }
    m_Size = static_cast<DWORD>(length);
    if (std::fseek(m_Stream, 0, SEEK_SET) != 0) {
        Internal::LogFError(__PRETTY_FUNCTION__, m_Stream);
        QUOR_LOG(ERROR, "Failed to seek to end of file");
        hr = E_FAIL;
    }
}

FileUnmanaged::~FileUnmanaged() {
    if (m_Stream != nullptr && std::fclose(m_Stream) != 0) {
        Internal::LogGetLastError(__PRETTY_FUNCTION__);
        QUOR_LOG(ERROR, "Failed to close \"%s\".", m_Path.c_str());
    }
}

HRESULT FileUnmanaged::Seek(const int32_t offset, const SEEK_ORIGIN origin) {
    QUOR_LOG(VERBOSE, "(%d, %d)", offset, static_cast<int>(origin));
    if (m_Stream == nullptr) {
        QUOR_LOG(ERROR, "%s", kNotOpen);
        return E_FAIL;
    }
    if (std::fseek(m_Stream, offset, origin) != 0) {
        HRESULT hr = Internal::LogGetLastError(__PRETTY_FUNCTION__);
        QUOR_LOG(ERROR, "fseek failed.");
        return FAILED(hr) ? hr : E_FAIL;
    }
    return S_OK;
}

HRESULT FileUnmanaged::Read(void* const buffer, const size_t elementSize, const size_t count, size_t& elementsRead) {
    QUOR_LOG(VERBOSE, "(0x%08lx, %d, %d)", reinterpret_cast<unsigned long>(buffer), static_cast<int>(elementSize),
             static_cast<int>(count));
    elementsRead = 0;
    if (m_Stream == nullptr) {
        QUOR_LOG(ERROR, "%s", kNotOpen);
        return E_FAIL;
    }
    elementsRead = std::fread(buffer, elementSize, count, m_Stream);
    if (elementsRead < count) {
        if (std::feof(m_Stream)) {
            QUOR_LOG(ERROR, "Attempt to read past end of file.");
        } else {
            Internal::LogFError(__PRETTY_FUNCTION__, m_Stream);
            QUOR_LOG(ERROR, "\"fread\" failed.");
        }
        return E_FAIL;
    }
    return S_OK;
}

HRESULT FileUnmanaged::GetString(std::string& line) {
    QUOR_LOG(VERBOSE, "()");
    line.clear();
    if (m_Stream == nullptr) {
        QUOR_LOG(ERROR, "%s", kNotOpen);
        return E_FAIL;
    }
    char buffer[4096];
    if (std::fgets(buffer, sizeof(buffer), m_Stream) == nullptr) {
        if (std::feof(m_Stream)) {
            QUOR_LOG(ERROR, "Attempt to read past end of file.");
        } else {
            Internal::LogFError(__PRETTY_FUNCTION__, m_Stream);
            QUOR_LOG(ERROR, "\"fgets\" failed.");
        }
        return E_FAIL;
    }
    line = buffer;
    if (line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0) line.erase(line.size() - 2, 1);
    return S_OK;
}

HRESULT FileUnmanaged::Tell(int32_t& position) {
    QUOR_LOG(VERBOSE, "()");
    position = -1;
    if (m_Stream == nullptr) {
        QUOR_LOG(ERROR, "%s", kNotOpen);
        return E_FAIL;
    }
    const long where = std::ftell(m_Stream);
    if (where == -1) {
        HRESULT hr = Internal::LogGetLastError(__PRETTY_FUNCTION__);
        QUOR_LOG(ERROR, "ftell failed.");
        return FAILED(hr) ? hr : E_FAIL;
    }
    position = static_cast<int32_t>(where);
    return S_OK;
}

bool FileUnmanaged::IsEndOfFile() { return m_Stream == nullptr || std::feof(m_Stream) != 0; }

}  // namespace Quor::API::Impl
