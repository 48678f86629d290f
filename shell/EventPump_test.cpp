#include "shell/EventPump.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/Cursor.h"
#include "shell/Application.h"
#include "shell/Input.h"
#include "shell/ShellState.h"
#include "shell/WindowCommands.h"

namespace Quor::Shell {
namespace {

using namespace Platform;

struct Message {
    unsigned message;
    unsigned long wParam;
    long lParam;
    bool operator==(const Message&) const = default;
};

std::vector<Message> g_Translated;
std::vector<Message> g_Hooked;
std::vector<unsigned> g_KeyEvents, g_MouseEvents;
int g_StopAt = -1;  // the translator answers 1 for this message index
int g_Gained = 0;

int Translator(void*, unsigned message, unsigned long wParam, long lParam) {
    g_Translated.push_back({message, wParam, lParam});
    return static_cast<int>(g_Translated.size()) - 1 == g_StopAt ? 1 : 0;
}
int Hook(void*, unsigned message, unsigned long wParam, long lParam) {
    g_Hooked.push_back({message, wParam, lParam});
    return 0;
}
void OnKey(const InputEvent& event) { g_KeyEvents.push_back(event.type); }
void OnMouse(const InputEvent& event) { g_MouseEvents.push_back(event.type); }
void Gained() { ++g_Gained; }

InputEvent Event(unsigned type, double x = 0, double y = 0, unsigned keyCode = 0, uint32_t flags = 0) {
    InputEvent e;
    e.type = type;
    e.locationX = x;
    e.locationY = y;
    e.keyCode = keyCode;
    e.modifierFlags = flags;
    return e;
}

class EventPumpTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetCursorForTests(&cursor);
        Shell().mainWindow = std::make_unique<Window>();
        Shell().mainWindow->frame = {100, 100, 200, 100};
        Shell().screen = Screen{{0, 0, 1920, 1080}, 1};
        Shell().keyCallback = OnKey;
        Shell().mouseCallback = OnMouse;
    }
    void TearDown() override { SetCursorForTests(nullptr); }

    ModelCursor cursor;
};

TEST_F(EventPumpTest, TranslatesEachEventTypeWithATopLeftPoint) {
    struct Case {
        InputEvent event;
        Message expected;
    };
    InputEvent keyA = Event(EVENT_KEY_DOWN, 5, 5, 0);
    keyA.character = 'a';
    InputEvent keyUpA = Event(EVENT_KEY_UP, 5, 5, 0);
    keyUpA.character = 'a';
    const Case cases[] = {
        {Event(EVENT_LEFT_DOWN, 10.7, 30.2), {1, 10, 69}},
        {Event(EVENT_LEFT_UP, 10, 30), {2, 10, 70}},
        {Event(EVENT_RIGHT_DOWN, 1, 1), {3, 1, 99}},
        {Event(EVENT_RIGHT_UP, 1, 1), {4, 1, 99}},
        {Event(EVENT_MOUSE_MOVED, 2, 2), {5, 2, 98}},
        {Event(EVENT_LEFT_DRAGGED, 2, 2), {5, 2, 98}},
        {Event(EVENT_RIGHT_DRAGGED, 2, 2), {5, 2, 98}},
        {Event(EVENT_OTHER_DRAGGED, 2, 2), {5, 2, 98}},
        {keyA, {10, 'a', 0}},
        {keyUpA, {11, 'a', 0}},
        {Event(EVENT_KEY_DOWN, 0, 0, 12), {10, 0, 12 << 16}},
        {Event(EVENT_FLAGS_CHANGED, 0, 0, 56, MODIFIER_SHIFT), {10, 0, 56 << 16}},
        {Event(EVENT_FLAGS_CHANGED, 0, 0, 60, 0), {11, 0, 60 << 16}},
        {Event(EVENT_FLAGS_CHANGED, 0, 0, 61, MODIFIER_ALTERNATE), {10, 0, 61 << 16}},
        {Event(EVENT_FLAGS_CHANGED, 0, 0, 59, MODIFIER_SHIFT), {11, 0, 59 << 16}},
        {Event(EVENT_FLAGS_CHANGED, 0, 0, 55, MODIFIER_COMMAND), {0, 0, 55 << 16}},
        {Event(EVENT_SCROLL_WHEEL, 3, 4), {18, 3, 96}},
        {Event(EVENT_OTHER_DOWN, 3, 4), {21, 3, 96}},
        {Event(EVENT_OTHER_UP, 3, 4), {22, 3, 96}},
        {Event(13, 3, 4), {0, 3, 96}},
    };
    for (const Case& c : cases) App().PostEvent(c.event);
    SetMessageHook(Hook);
    EXPECT_EQ(PumpEvents(Translator), 1);
    ASSERT_EQ(g_Translated.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(g_Translated[i], cases[i].expected) << "case " << i;
    EXPECT_EQ(g_Hooked, g_Translated);
    EXPECT_EQ(App().QueuedEvents(), 0u);
}

TEST_F(EventPumpTest, FirstPumpAfterAQuitRequestAnswersZeroWithoutTouchingTheQueue) {
    App().PostEvent(Event(EVENT_KEY_DOWN, 0, 0, 0));
    EXPECT_EQ(PumpEvents(nullptr), 1);
    EXPECT_EQ(g_KeyEvents.size(), 1u);

    App().PostEvent(Event(EVENT_KEY_DOWN, 0, 0, 0));
    RequestQuit();
    EXPECT_EQ(PumpEvents(Translator), 0);
    EXPECT_EQ(App().QueuedEvents(), 1u);
    EXPECT_TRUE(g_Translated.empty());
    EXPECT_EQ(PumpEvents(nullptr), 1);
    EXPECT_EQ(App().QueuedEvents(), 0u);
    EXPECT_EQ(g_KeyEvents.size(), 2u);
    EXPECT_EQ(PumpEvents(nullptr), 1);
}

TEST_F(EventPumpTest, CloseMainWindowForgetsTheWindowAndRequestsQuit) {
    CloseMainWindow();
    EXPECT_EQ(GetMainWindow(), nullptr);
    EXPECT_FALSE(Shell().mainWindowShown);
    EXPECT_EQ(PumpEvents(nullptr), 0);
    CloseMainWindow();  // none left: only the flag
    EXPECT_EQ(PumpEvents(nullptr), 1);
}

TEST_F(EventPumpTest, ATranslatorAnsweringNonZeroKeepsTheEventFromDispatch) {
    App().PostEvent(Event(EVENT_KEY_DOWN, 0, 0, 0));
    App().PostEvent(Event(EVENT_KEY_DOWN, 0, 0, 1));
    App().PostEvent(Event(EVENT_KEY_DOWN, 0, 0, 2));
    g_StopAt = 1;
    SetMessageHook(Hook);
    EXPECT_EQ(PumpEvents(Translator), 1);
    EXPECT_EQ(g_Translated.size(), 2u);
    EXPECT_EQ(g_Hooked.size(), 1u);     // not for the refused event
    EXPECT_EQ(g_KeyEvents.size(), 1u);  // only the first reached the window
    EXPECT_EQ(App().QueuedEvents(), 1u);
}

TEST_F(EventPumpTest, CommandTabHidesTheApplicationAndIsDropped) {
    SetMainWindowVisible(true);
    App().PostEvent(Event(EVENT_KEY_DOWN, 0, 0, 48, MODIFIER_COMMAND | MODIFIER_CONTROL));  // not Command-Tab
    App().PostEvent(Event(EVENT_KEY_DOWN, 0, 0, 98, 0x840000));                           // dropped
    App().PostEvent(Event(EVENT_KEY_DOWN, 0, 0, 48, MODIFIER_COMMAND));
    EXPECT_EQ(PumpEvents(Translator), 1);
    EXPECT_TRUE(App().IsHidden());
    EXPECT_FALSE(Shell().mainWindowShown);
    EXPECT_EQ(g_Translated.size(), 1u);
    EXPECT_EQ(g_KeyEvents.size(), 1u);
    ShowMainWindow();
    EXPECT_FALSE(App().IsHidden());
    EXPECT_TRUE(Shell().mainWindowShown);
}

TEST_F(EventPumpTest, TitleBarDragSuspendsClipAndFocusUntilTheButtonIsReleased) {
    ClipCursorToWindow();
    Shell().focusGained = Gained;
    App().PostEvent(Event(EVENT_LEFT_DOWN, 20, 110));  // above the content: the title bar
    App().PostEvent(Event(EVENT_LEFT_DRAGGED, 25, 112));
    EXPECT_EQ(PumpEvents(Translator), 1);
    EXPECT_TRUE(IsTitleBarDragActive());
    EXPECT_FALSE(IsCursorClipped());
    EXPECT_EQ(cursor.suppressionInterval, 0.0);
    EXPECT_EQ(Shell().focusGained, nullptr);
    EXPECT_EQ(g_Translated.size(), 1u);                         // the drag is not translated
    EXPECT_EQ(g_MouseEvents, (std::vector<unsigned>{1, 6}));  // down dispatched, drag given to the callback only

    App().PostEvent(Event(EVENT_LEFT_UP, 25, 112));
    EXPECT_EQ(PumpEvents(Translator), 1);
    EXPECT_FALSE(IsTitleBarDragActive());
    EXPECT_TRUE(IsCursorClipped());
    EXPECT_EQ(cursor.suppressionInterval, 0.25);
    EXPECT_EQ(Shell().focusGained, Gained);
    EXPECT_EQ(g_Gained, 1);
}

TEST_F(EventPumpTest, CommandKeyUpsReachTheWindowAndTheRawKeyboardBypassesDispatch) {
    const InputEvent commandUp = Event(EVENT_KEY_UP, 0, 0, 0, MODIFIER_COMMAND);
    App().BaseSendEvent(commandUp);
    EXPECT_TRUE(g_KeyEvents.empty());  // the base dispatch swallows it
    App().SendEvent(commandUp);
    EXPECT_EQ(g_KeyEvents.size(), 1u);

    // Raw keyboard: key events go to the callback even without a window; mouse events do not.
    Shell().mainWindow.reset();
    Shell().rawKeyboard = true;
    App().SendEvent(Event(EVENT_KEY_DOWN));
    App().SendEvent(Event(EVENT_FLAGS_CHANGED));
    App().SendEvent(Event(EVENT_LEFT_DOWN));
    EXPECT_EQ(g_KeyEvents.size(), 3u);
    EXPECT_TRUE(g_MouseEvents.empty());
}

}  // namespace
}  // namespace Quor::Shell
