// The log's error functions: the text of errno, of a stream's error state, of the last error and
// of the last socket error, each logged under the caller's tag.
#include <cerrno>
#include <cstring>
#include <string>

#include "common/ErrorHelper.h"
#include "common/Log.h"
#include "common/SystemErrorText.h"
#include "foundation/Sockets.h"

namespace Quor::Log::Internal {

namespace {

HRESULT LogErrnoReading(const char* function, int error) {
    std::string text = Quor::Common::SystemErrorText(error);
    PrintTagged(error != 0 ? ERROR : DEBUG, function, text.c_str());
    return error != 0 ? E_FAIL : S_OK;
}

}  // namespace

HRESULT LogERRNO(const char* function) {
    LogErrnoReading(function, errno);
    return errno != 0 ? E_FAIL : S_OK;
}

HRESULT LogDOSERRNO(const char* function) {
    return LogErrnoReading(function, errno);
}

HRESULT LogFError(const char* function, FILE* stream) {
    const int error = errno;
    if (!stream) {
        PrintTagged(ERROR, function, "No stream");
        return E_FAIL;
    }
    if (!std::ferror(stream)) {
        PrintTagged(DEBUG, function, "No stream error");
        return S_OK;
    }
    std::string text = "Stream error";
    if (error != 0) text += ": " + Quor::Common::SystemErrorText(error);
    PrintTagged(ERROR, function, text.c_str());
    return E_FAIL;
}

HRESULT LogGetLastError(const char* function) {
    HRESULT code = S_OK;
    std::string message;
    HRESULT result = Quor::Common::ErrorHelper::GetLastErrorCodeAndMessage(code, message);
    if (FAILED(result)) {
        PrintFTagged(ERROR, "HRESULT Quor::Log::Internal::LogGetLastError(const char *const)",
                     "A failure occurred while trying to get the last error message. (0x%08lx)",
                     static_cast<unsigned long>(static_cast<DWORD>(result)));
        return result;
    }
    PrintTagged(FAILED(code) ? ERROR : DEBUG, function, message.c_str());
    return code;
}

HRESULT WSAGetLastError(const char* function) {
    const int32_t error = Vorn::Sockets::GetLastError();
    if (error == 0) return S_OK;
    std::string message;
    HRESULT result = Quor::Common::ErrorHelper::GetWindowsMessage(static_cast<DWORD>(error), message);
    if (FAILED(result)) {
        PrintFTagged(ERROR, "HRESULT Quor::Log::Internal::WSAGetLastError(const char *const)",
                     "A failure occurred while trying to get the last error message. (0x%08lx)",
                     static_cast<unsigned long>(static_cast<DWORD>(result)));
    } else {
        PrintTagged(ERROR, function, message.c_str());
    }
    return error < 0 ? static_cast<HRESULT>(error) : E_FAIL;
}

}  // namespace Quor::Log::Internal
