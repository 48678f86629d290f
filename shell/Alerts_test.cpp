#include "shell/Alerts.h"

#include <gtest/gtest.h>

#include "platform/AnswerPolicy.h"
#include "platform/Cursor.h"
#include "platform/FakeAlertSheets.h"
#include "platform/InputEvent.h"
#include "shell/Application.h"
#include "shell/Input.h"
#include "shell/ShellState.h"

namespace Quor::Shell {
namespace {

using namespace Platform;

class AlertsTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetAlertSheetsForTests(&sheets);
        SetCursorForTests(&cursor);
        Shell().mainWindow = std::make_unique<Window>();
        Shell().mainWindow->frame = {0, 0, 100, 100};
    }
    void TearDown() override {
        SetAlertSheetsForTests(nullptr);
        SetCursorForTests(nullptr);
    }

    FakeAlertSheets sheets;
    ModelCursor cursor;
};

TEST_F(AlertsTest, ButtonsAndResultsFollowTheStyle) {
    struct Case {
        uint32_t style;
        int returnCode;
        uint32_t result;
        const char *defaultButton, *alternateButton, *otherButton;
    };
    const Case cases[] = {
        {0, ALERT_DEFAULT_RETURN, 0, "Ok", "", ""},
        {1, ALERT_DEFAULT_RETURN, 0, "Cancel", "", ""},
        {2, ALERT_DEFAULT_RETURN, 0, "Yes", "", ""},
        {3, ALERT_DEFAULT_RETURN, 0, "Ok", "", "Cancel"},
        {3, ALERT_OTHER_RETURN, 1, "Ok", "", "Cancel"},
        {4, ALERT_OTHER_RETURN, 1, "Retry", "", "Cancel"},
        {5, ALERT_DEFAULT_RETURN, 0, "Abort", "Retry", "Ignore"},
        {5, ALERT_OTHER_RETURN, 1, "Abort", "Retry", "Ignore"},
        {5, ALERT_ALTERNATE_RETURN, 2, "Abort", "Retry", "Ignore"},
        {6, ALERT_DEFAULT_RETURN, 0, "", "", ""},
        {5, 7, 0, "Abort", "Retry", "Ignore"},  // an unknown code answers the previous result
    };
    for (const Case& c : cases) {
        sheets.returnCodes = {c.returnCode};
        EXPECT_EQ(MessageBox("text", "caption", c.style), c.result) << c.style << " " << c.returnCode;
        const AlertSheetRequest& r = sheets.requests.back();
        EXPECT_EQ(r.text, "text");
        EXPECT_EQ(r.defaultButton, c.defaultButton);
        EXPECT_EQ(r.alternateButton, c.alternateButton);
        EXPECT_EQ(r.otherButton, c.otherButton);
        EXPECT_FALSE(r.showsSuppressionButton);
        EXPECT_FALSE(IsSheetActive());
    }
}

TEST_F(AlertsTest, UnknownCodeBeforeAnyAnswerGivesNoResult) {
    sheets.returnCodes = {42};
    EXPECT_EQ(MessageBox("text", nullptr, 3), MB_NO_RESULT);
}

TEST_F(AlertsTest, TickedSuppressionBoxAddsItsBit) {
    sheets.suppressionState = 1;
    EXPECT_EQ(MessageBox("again?", "", 3 | MB_SUPPRESSION_BOX), MB_SUPPRESSED);
    EXPECT_TRUE(sheets.requests.back().showsSuppressionButton);
    EXPECT_EQ(sheets.requests.back().otherButton, "Cancel");
    sheets.returnCodes = {ALERT_OTHER_RETURN};
    sheets.suppressionState = 0;
    EXPECT_EQ(MessageBox("again?", "", 3 | MB_SUPPRESSION_BOX), 1u);
    sheets.suppressionState = 1;  // a box that was not shown counts for nothing
    sheets.returnCodes = {ALERT_OTHER_RETURN};
    EXPECT_EQ(MessageBox("again?", "", 3), 1u);
}

std::function<void()> g_OnKey;
void CallOnKey(const InputEvent&) {
    if (g_OnKey) g_OnKey();
}

TEST_F(AlertsTest, WaitsByPumpingUntilTheSheetEndsWithCaptureAndClipSuspended) {
    Shell().screen = Screen{{0, 0, 1920, 1080}, 1};
    SetMouseCaptured(true);
    ClipCursorToWindow();
    HideCursor();
    sheets.deferred = true;
    sheets.returnCodes = {ALERT_OTHER_RETURN};
    bool capturedDuringSheet = true, clippedDuringSheet = true, hiddenDuringSheet = true;
    g_OnKey = [&] {
        capturedDuringSheet = IsMouseCaptured();
        clippedDuringSheet = IsCursorClipped();
        hiddenDuringSheet = cursor.hidden;
        sheets.EndPending();
    };
    Shell().keyCallback = CallOnKey;
    InputEvent key;
    key.type = EVENT_KEY_DOWN;
    App().PostEvent(key);
    EXPECT_EQ(MessageBox("stop?", "", 3), 1u);
    EXPECT_FALSE(capturedDuringSheet);
    EXPECT_FALSE(clippedDuringSheet);
    EXPECT_FALSE(hiddenDuringSheet);
    EXPECT_TRUE(IsMouseCaptured());
    EXPECT_TRUE(IsCursorClipped());
    EXPECT_TRUE(cursor.hidden);
    g_OnKey = nullptr;
}

TEST(AlertsHeadless, TheAnswerPolicyPicksTheButton) {
    SetScriptedAnswers({1, 2, 1, 7});
    EXPECT_EQ(MessageBox("stop the others?", "", 3), 1u);  // Cancel
    EXPECT_EQ(MessageBox("what now?", "", 5), 2u);         // Retry
    EXPECT_EQ(MessageBox("what now?", "", 5), 1u);         // Ignore
    EXPECT_EQ(MessageBox("what now?", "", 5), 0u);         // no such button: the default
    EXPECT_EQ(MessageBox("failed", "", 0), 0u);
}

}  // namespace
}  // namespace Quor::Shell
