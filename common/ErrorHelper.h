#pragma once
// Turns the last system error, and result codes, into a code and a text for the log.
//
// Texts come from the localized error message map (ErrorMessageMap), and for the internet error
// numbers 12001..12174 from an English table. Reentrant; both operations always return S_OK.
#include <string>

#include "foundation/Types.h"

namespace Quor::Common {

class ErrorHelper {
public:
    struct CodeAndText {
        DWORD code;
        const char* text;
    };
    // The internet error numbers and their English texts.
    static const CodeAndText ERROR_CODE_TO_MESSAGE[92];

    // message = the map's text of code; else, when message is empty, the text of E_FAIL.
    static HRESULT GetWindowsMessage(DWORD code, std::string& message);

    // From the calling thread's errno: with errno 0, message is kept and a positive code becomes
    // E_FAIL (0 and negative codes are kept); otherwise code becomes E_FAIL and message the text
    // of the error (internet table, then the map, then - when message is still empty - the
    // text of E_FAIL).
    static HRESULT GetLastErrorCodeAndMessage(HRESULT& code, std::string& message);
};

}  // namespace Quor::Common
