#pragma once
// Alert sheets over the main window: a message, up to three buttons and an optional suppression
// box ("do not ask again").
//
// Begin shows the sheet and reports its end through the given function with the button's return
// code; the shell waits for that by pumping its events. The headless sheet is answered by the
// answer policy (platform/AnswerPolicy.h) before Begin returns: the policy's button number 0 is
// the default button, 1 the other button, 2 the alternate one; its suppression box stays clear.
// Tests install their own with SetAlertSheetsForTests (null restores the headless one); installing
// is for the test's own thread, before the code under test runs. Main thread only.
#include <functional>
#include <string>

namespace Quor::Platform {

// Return codes of a sheet's buttons.
constexpr int ALERT_DEFAULT_RETURN = 1;
constexpr int ALERT_ALTERNATE_RETURN = 0;
constexpr int ALERT_OTHER_RETURN = -1;

struct AlertSheetRequest {
    std::string text;
    // Empty: no such button.
    std::string defaultButton, alternateButton, otherButton;
    bool showsSuppressionButton = false;
};

class IAlertSheets {
public:
    virtual ~IAlertSheets() = default;
    virtual void Begin(const AlertSheetRequest& request, std::function<void(int returnCode)> ended) = 0;
    // The state of the last sheet's suppression box: 1 ticked, 0 clear.
    virtual int SuppressionButtonState() = 0;
};

IAlertSheets& AlertSheets();
void SetAlertSheetsForTests(IAlertSheets* sheets);

}  // namespace Quor::Platform
