#pragma once
// Recording alert sheets for tests: every request is kept; each sheet ends with the next scripted
// return code (the default button when none is left) and the scripted suppression state. A
// deferred fake keeps the sheet up until EndPending is called (from an event the test queued, for
// instance). Install with SetAlertSheetsForTests; main thread only.
#include <deque>
#include <functional>
#include <vector>

#include "platform/AlertSheet.h"

namespace Quor::Platform {

class FakeAlertSheets : public IAlertSheets {
public:
    std::vector<AlertSheetRequest> requests;
    std::deque<int> returnCodes;
    int suppressionState = 0;
    bool deferred = false;

    void Begin(const AlertSheetRequest& request, std::function<void(int)> ended) override {
        requests.push_back(request);
        int code = ALERT_DEFAULT_RETURN;
        if (!returnCodes.empty()) {
            code = returnCodes.front();
            returnCodes.pop_front();
        }
        if (deferred) {
            m_Pending = [ended, code] { ended(code); };
            return;
        }
        ended(code);
    }
    int SuppressionButtonState() override { return suppressionState; }

    // Ends a deferred sheet; false when none is up.
    bool EndPending() {
        if (!m_Pending) return false;
        auto end = std::move(m_Pending);
        m_Pending = nullptr;
        end();
        return true;
    }

private:
    std::function<void()> m_Pending;
};

}  // namespace Quor::Platform
