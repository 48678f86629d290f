#include "kernel/GameMain.h"

#include "common/ErrorCodes.h"
#include "common/ErrorHelper.h"
#include "common/Log.h"
#include "install/InstalledState.h"
#include "kernel/Application.h"
#include "platform/ShellServices.h"

namespace Vorn {

int GameMain(int argc, const char** argv) {
    // The patch search of updates asks the installed state which releases can be patch sources.
    Quor::User::RegisterInstalledStateServices();
    HRESULT hr = S_OK;
    {
        Quor::Orvane::Application application(argc, argv);
        hr = application.Run();
        // Success has no entry in the message table (whose fallback text speaks of an error).
        std::string text;
        if (SUCCEEDED(hr))
            text = "The operation completed successfully.";
        else
            Quor::Common::ErrorHelper::GetWindowsMessage(static_cast<DWORD>(hr), text);
        QUOR_LOG(Quor::Log::USER, "%s", text.c_str());
        if (FAILED(hr)) {
            std::string caption;
            Quor::Common::ErrorHelper::GetWindowsMessage(static_cast<DWORD>(INFO_QUOR_ERROR_BOX_TITLE), caption);
            Quor::Platform::MessageBox(text.c_str(), caption.c_str(), Quor::Platform::MB_STYLE_OK);
        }
    }
    return hr >> 31;
}

bool GameHandlesQuitRequest() { return false; }

}  // namespace Vorn
