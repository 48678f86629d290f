#include "common/ErrorHelper.h"

#include "common/ErrorMessageMap.h"
#include "foundation/CStd/CStd.h"

namespace Quor::Common {

namespace {

const std::string* MapText(HRESULT code) {
    const ErrorMessageMap* map = ErrorMessageMap::TryGetErrorMessageMap();
    return map ? map->GetErrorMessage(code) : nullptr;
}

// The text of E_FAIL; while the map is being built on this thread, the en_US text.
std::string FailText() {
    if (const std::string* text = MapText(E_FAIL)) return *text;
    return "Unspecified error occurred. Please check the logs for more information.";
}

}  // namespace

HRESULT ErrorHelper::GetWindowsMessage(DWORD code, std::string& message) {
    if (const std::string* text = MapText(static_cast<HRESULT>(code)))
        message = *text;
    else if (message.empty())
        message = FailText();
    return S_OK;
}

HRESULT ErrorHelper::GetLastErrorCodeAndMessage(HRESULT& code, std::string& message) {
    const int error = Vorn::std_errno();
    if (error == 0) {
        if (code > 0) code = E_FAIL;
        return S_OK;
    }
    bool found = false;
    for (const CodeAndText& entry : ERROR_CODE_TO_MESSAGE) {
        if (entry.code == static_cast<DWORD>(error)) {
            message = entry.text;
            found = true;
            break;
        }
    }
    if (!found) {
        if (const std::string* text = MapText(static_cast<HRESULT>(error)))
            message = *text;
        else if (message.empty())
            message = FailText();
    }
    code = E_FAIL;
    return S_OK;
}

}  // namespace Quor::Common
