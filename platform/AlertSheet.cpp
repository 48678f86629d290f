#include "platform/AlertSheet.h"

#include <atomic>

#include "platform/AnswerPolicy.h"

namespace Quor::Platform {

namespace {

class HeadlessAlertSheets : public IAlertSheets {
public:
    void Begin(const AlertSheetRequest& request, std::function<void(int)> ended) override {
        // Button numbers as the policy counts them: default, other, alternate.
        const bool hasOther = !request.otherButton.empty();
        const int count = (request.defaultButton.empty() ? 0 : 1) + (hasOther ? 1 : 0) +
                          (request.alternateButton.empty() ? 0 : 1);
        const int answer = AnswerMessageBox(request.text, count, 0);
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
