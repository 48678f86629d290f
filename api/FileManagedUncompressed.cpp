#include "api/FileManagedUncompressed.h"

#include "api/ManagedFileCursor.h"
#include "archive/ReaderLock.h"
#include "common/Log.h"
#include "foundation/CStd/CStdFiles.h"

namespace Quor::API::Impl {

using Quor::Log::ERROR;
using Quor::Log::VERBOSE;
namespace Internal = Quor::Log::Internal;
namespace Cursor = ManagedFileCursor;

namespace {

HRESULT SystemErrorOr(HRESULT fallback, const char* function) {
    const HRESULT hr = Internal::LogGetLastError(function);
    return FAILED(hr) ? hr : fallback;
}
}  // namespace

FileManagedUncompressed::FileManagedUncompressed(MainServices& main, const std::string& projectName,
                                                 const uint32_t releaseVersion, const std::string& fileName,
                                                 const FILE_TYPE type, HRESULT& hr)
    : m_Main(main), m_Type(type) {
    QUOR_LOG(VERBOSE, "(%s, 0x%08lx, \"%s\", %s)", projectName.c_str(), static_cast<unsigned long>(releaseVersion),
             fileName.c_str(), FileTypeName(type));
    QUOR_LOG(VERBOSE, "No connection to kernel detected, file archive will be accessed within process only.");
    uint32_t offset = 0, size = 0, handle = Quor::User::kNoLockHandle;
    hr = Quor::User::LockFile(projectName, releaseVersion, fileName, main.GetManifestCache(), m_ArchivePath, offset,
                              size, handle);
    if (FAILED(hr)) {
        QUOR_LOG(ERROR, "Failed to lock file in archive.");
        return;
    }
    m_Offset = offset;
    m_Size = size;
    m_LockHandle = handle;
    m_Stream = Vorn::std_fopen(m_ArchivePath.c_str(), "rb");
    if (m_Stream == nullptr) {
        hr = SystemErrorOr(E_FAIL, __PRETTY_FUNCTION__);
        QUOR_LOG(ERROR, "Failed to open archive \"%s\".", m_ArchivePath.c_str());
        return;
    }
    if (std::fseek(m_Stream, static_cast<long>(m_Offset), SEEK_SET) != 0) {
        hr = SystemErrorOr(E_FAIL, __PRETTY_FUNCTION__);
        Internal::LogFError(__PRETTY_FUNCTION__, m_Stream);
        QUOR_LOG(ERROR, "Failed to fseek to head of archived file.");
        return;
    }
    if (type == FILE_TYPE_TEXT) {
        m_Text.resize(m_Size);
        if (m_Size != 0 && std::fread(m_Text.data(), 1, m_Size, m_Stream) != m_Size) {
            Internal::LogFError(__PRETTY_FUNCTION__, m_Stream);
            QUOR_LOG(ERROR, "Failed to read in text file");
            m_Text.clear();
            hr = E_FAIL;
            return;
        }
    }
    hr = S_OK;
}

FileManagedUncompressed::~FileManagedUncompressed() {
    MutexHolder hold(m_Main.GetMutex());
    if (m_Stream != nullptr && std::fclose(m_Stream) != 0) {
        Internal::LogGetLastError(__PRETTY_FUNCTION__);
        QUOR_LOG(ERROR, "Failed to close archive \"%s\".", m_ArchivePath.c_str());
    }
    if (m_LockHandle != Quor::User::kNoLockHandle && FAILED(Quor::User::UnlockFile(m_LockHandle)))
        QUOR_LOG(ERROR, "Failed to unlock file");
}

HRESULT FileManagedUncompressed::Seek(const int32_t offset, const SEEK_ORIGIN origin) {
    QUOR_LOG(VERBOSE, "(%d, %d)", offset, static_cast<int>(origin));
    if (m_Stream == nullptr) {
        QUOR_LOG(ERROR, "File is not open.");
        return E_FAIL;
    }
    m_Position = Cursor::SeekTarget(m_Position, m_Size, offset, origin);
    const uint64_t target = static_cast<uint64_t>(m_Offset) + m_Position;
    if (std::fseek(m_Stream, static_cast<long>(target), SEEK_SET) != 0) {
        const HRESULT hr = SystemErrorOr(E_FAIL, __PRETTY_FUNCTION__);
        Internal::LogFError(__PRETTY_FUNCTION__, m_Stream);
        QUOR_LOG(ERROR, "fseek failed.");
        return hr;
    }
    return S_OK;
}

HRESULT FileManagedUncompressed::Read(void* const buffer, const size_t elementSize, const size_t count,
                                      size_t& elementsRead) {
    QUOR_LOG(VERBOSE, "(0x%08lx, %d, %d)", reinterpret_cast<unsigned long>(buffer), static_cast<int>(elementSize),
             static_cast<int>(count));
    elementsRead = 0;
    if (FAILED(Cursor::CheckBinaryAndOpen(m_Type, m_Stream != nullptr, __PRETTY_FUNCTION__))) return E_FAIL;
    if (m_Position >= m_Size) {
        QUOR_LOG(ERROR, "End of file");
        return E_FAIL;
    }
    const size_t wanted = Cursor::ElementsLeft(m_Position, m_Size, elementSize, count);
    elementsRead = wanted == 0 ? 0 : std::fread(buffer, elementSize, wanted, m_Stream);
    HRESULT hr = S_OK;
    if (elementsRead == wanted && wanted < count) {
        QUOR_LOG(VERBOSE, "Attempt to read past end of file.");
        hr = E_FAIL;
    } else if (elementsRead < wanted) {
        if (std::feof(m_Stream)) {
            QUOR_LOG(ERROR, "Attempt to read past end of archive file.");
        } else {
            Internal::LogFError(__PRETTY_FUNCTION__, m_Stream);
            QUOR_LOG(ERROR, "\"fread\" failed.");
        }
        hr = E_FAIL;
    }
    m_Position = Cursor::Advance(m_Position, elementSize, count);
    return hr;
}

HRESULT FileManagedUncompressed::GetString(std::string& line) {
    QUOR_LOG(VERBOSE, "()");
    line.clear();
    if (m_Type != FILE_TYPE_TEXT) {
        QUOR_LOG(ERROR, "Only supported when file is opened for text access.");
        return E_FAIL;
    }
    return Cursor::GetLine(m_Text.data(), static_cast<DWORD>(m_Text.size()), m_Position, line, __PRETTY_FUNCTION__);
}

HRESULT FileManagedUncompressed::Tell(int32_t& position) {
    QUOR_LOG(VERBOSE, "()");
    position = -1;
    if (FAILED(Cursor::CheckBinaryAndOpen(m_Type, m_Stream != nullptr, __PRETTY_FUNCTION__))) return E_FAIL;
    position = static_cast<int32_t>(m_Position);
    return S_OK;
}

}  // namespace Quor::API::Impl
