#include "platform/AlertSheet.h"

#include <atomic>
#include <string>

#include "platform/AnswerPolicy.h"

namespace Quor::Platform {

namespace {

class HeadlessAlertSheets : public IAlertSheets {
public:
    void Begin(const AlertSheetRequest& request, std::function<void(int)> ended) override {
        // Button numbers as the policy counts them (default, other, alternate), shown so that a
        // reader of the terminal knows what was answered.
        std::string buttons;
        int number = 0;
        for (const std::string* button : {&request.defaultButton, &request.otherButton, &request.alternateButton}) {
            if (button->empty()) continue;
            if (number > 0) buttons += ", ";
            buttons += std::to_string(number) + " " + *button;
            ++number;
        }
        const int answer = AnswerMessageBox(buttons.empty() ? request.text : request.text + " (" + buttons + ")", number, 0);
        const bool hasOther = !request.otherButton.empty();
        ended(answer == 0 ? ALERT_DEFAULT_RETURN : answer == 1 && hasOther ? ALERT_OTHER_RETURN : ALERT_ALTERNATE_RETURN);
    }
    int SuppressionButtonState() override { return 0; }
};

HeadlessAlertSheets g_Headless;
std::atomic<IAlertSheets*> g_Installed{nullptr};

}  // namespace

IAlertSheets& AlertSheets() {
    IAlertSheets* installed = g_Installed.load();
    return installed ? *installed : g_Headless;
}

void SetAlertSheetsForTests(IAlertSheets* sheets) { g_Installed = sheets; }

}  // namespace Quor::Platform
