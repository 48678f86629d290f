#include "shell/Alerts.h"

#include <thread>

#include "common/Log.h"
#include "platform/AlertSheet.h"
#include "shell/EventPump.h"
#include "shell/Input.h"

namespace Quor::Shell {

namespace {

struct AlertState {
    bool sheetActive = false;
    uint32_t result = MB_NO_RESULT;
};

AlertState& Alert() {
    static AlertState state;
    return state;
}

}  // namespace

AlertButtons ButtonsOfStyle(uint32_t style) {
    switch (style & ~MB_SUPPRESSION_BOX) {
        case 0: return {"Ok", nullptr, nullptr};
        case 1: return {"Cancel", nullptr, nullptr};
        case 2: return {"Yes", nullptr, nullptr};
        case 3: return {"Ok", nullptr, "Cancel"};
        case 4: return {"Retry", nullptr, "Cancel"};
        case 5: return {"Abort", "Retry", "Ignore"};
        default: return {nullptr, nullptr, nullptr};
    }
}

void AlertDelegate::SheetEnded(int returnCode) {
    switch (returnCode) {
        case Platform::ALERT_DEFAULT_RETURN: Alert().result = 0; break;
        case Platform::ALERT_OTHER_RETURN: Alert().result = 1; break;
        case Platform::ALERT_ALTERNATE_RETURN: Alert().result = 2; break;
        default: break;
    }
    Alert().sheetActive = false;
}

uint32_t MessageBox(const char* text, const char*, uint32_t style) {
    QUOR_LOG(Log::VERBOSE, "%s, %u", text ? text : "(null)", style);
    const AlertButtons buttons = ButtonsOfStyle(style);
    Platform::AlertSheetRequest request;
    request.text = text ? text : "";
    request.defaultButton = buttons.defaultButton ? buttons.defaultButton : "";
    request.alternateButton = buttons.alternateButton ? buttons.alternateButton : "";
    request.otherButton = buttons.otherButton ? buttons.otherButton : "";
    request.showsSuppressionButton = (style & MB_SUPPRESSION_BOX) != 0;

    AlertDelegate delegate;
    Alert().sheetActive = true;
    const bool captured = IsMouseCaptured();
    if (captured) SetMouseCaptured(false);
    Platform::AlertSheets().Begin(request, [&delegate](int code) { delegate.SheetEnded(code); });
    const bool clipped = IsCursorClipped();
    if (clipped) {
        UnclipCursor();
        ShowCursor();
    }
    while (Alert().sheetActive) {
        PumpEvents(nullptr);
        if (Alert().sheetActive) std::this_thread::yield();
    }
    if (clipped) {
        HideCursor();
        ClipCursorToWindow();
    }
    if (request.showsSuppressionButton && Platform::AlertSheets().SuppressionButtonState() == 1)
        Alert().result |= MB_SUPPRESSED;
    if (captured) SetMouseCaptured(true);
    return Alert().result;
}

bool IsSheetActive() { return Alert().sheetActive; }

}  // namespace Quor::Shell
