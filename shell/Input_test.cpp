#include "shell/Input.h"

#include <cstdlib>

#include <gtest/gtest.h>

#include "platform/FakeCursor.h"
#include "platform/FakeHidParameters.h"
#include "shell/InputState.h"
#include "shell/KeyCodes.h"
#include "shell/MouseAcceleration.h"
#include "shell/ShellState.h"
#include "tests/kit/TempDir.h"

namespace Quor::Shell {
namespace {

using Platform::InputEvent;

uint32_t Scan(const KeyRecord& r) { return r.word & 0x3FF; }
bool Pressed(const KeyRecord& r) { return r.word & (1u << 10); }
uint32_t Kind(const MouseRecord& r) { return r.word & 0xF; }
int Value(const MouseRecord& r) { return static_cast<int32_t>((r.word >> 4) << 14) >> 14; }

InputEvent Key(unsigned type, unsigned keyCode, uint32_t flags = 0) {
    InputEvent e;
    e.type = type;
    e.keyCode = keyCode;
    e.modifierFlags = flags;
    return e;
}

std::vector<KeyRecord> TakeKeys(bool peek = false) {
    KeyRecord out[16];
    uint32_t count = 16;
    GetKeyEvents(out, &count, peek);
    return {out, out + count};
}

std::vector<MouseRecord> TakeMouse() {
    MouseRecord out[16];
    uint32_t count = 16;
    GetMouseEvents(out, &count, false);
    return {out, out + count};
}

// A 1000 x 1000 screen with a borderless window covering it: client and screen coordinates agree.
class InputTest : public ::testing::Test {
protected:
    void SetUp() override {
        Platform::SetCursorForTests(&cursor);
        Shell().screen = Platform::Screen{{0, 0, 1000, 1000}, 1};
        Shell().mainWindow = std::make_unique<Platform::Window>();
        Shell().mainWindow->frame = {0, 0, 1000, 1000};
        InitInput();
    }
    void TearDown() override { Platform::SetCursorForTests(nullptr); }

    // Places the cursor at a top-left screen point.
    void PlaceCursor(double x, double y) {
        cursor.x = x;
        cursor.y = 1000 - y;
    }

    Platform::FakeCursor cursor;
};

TEST(KeyCodes, ScanCodes) {
    const std::pair<uint32_t, uint32_t> cases[] = {
        {0, 30},   {10, SCAN_NONE}, {52, SCAN_NONE}, {55, 365},  {63, 364},         {67, 199},        {115, 199},
        {47, 52},  {65, 52},        {53, 1},         {126, 200}, {127, SCAN_NONE}, {0xFFFF, SCAN_NONE},
    };
    for (const auto& [code, scan] : cases) EXPECT_EQ(MacKeyCodeToScanCode(code), scan) << code;
}

TEST(KeyCodes, Bits) {
    uint8_t bits[128] = {};
    BitSet(bits, 365);
    EXPECT_EQ(bits[45], 1u << 5);
    EXPECT_TRUE(BitTest(bits, 365));
    BitAssign(bits, 365, 2);  // any value but 1 clears
    EXPECT_FALSE(BitTest(bits, 365));
    BitAssign(bits, 0, 1);
    EXPECT_EQ(bits[0], 1);
    BitClear(bits, 0);
    EXPECT_EQ(bits[0], 0);
}

TEST_F(InputTest, InitInputInstallsTheCallbacks) {
    ASSERT_NE(Shell().keyCallback, nullptr);
    ASSERT_NE(Shell().mouseCallback, nullptr);
    Shell().keyCallback(Key(Platform::EVENT_KEY_DOWN, 0));
    EXPECT_EQ(TakeKeys().size(), 1u);
}

TEST_F(InputTest, PressAndReleaseOfAKey) {
    EXPECT_EQ(OnKeyEvent(Key(Platform::EVENT_KEY_DOWN, 10)), SCAN_NONE);
    EXPECT_EQ(OnKeyEvent(Key(Platform::EVENT_KEY_DOWN, 200)), SCAN_NONE);
    EXPECT_EQ(OnKeyEvent(Key(Platform::EVENT_KEY_DOWN, 0)), 30u | (1u << 10));
    uint8_t state[KEY_BITMAP_SIZE];
    GetKeyboardState(state);
    EXPECT_TRUE(BitTest(state, 30));
    EXPECT_TRUE(TakeKeys().empty());  // the state read drops the queue

    OnKeyEvent(Key(Platform::EVENT_KEY_DOWN, 0));
    EXPECT_EQ(OnKeyEvent(Key(Platform::EVENT_KEY_UP, 0)), 30u);
    std::vector<KeyRecord> keys = TakeKeys();
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(Scan(keys[0]), 30u);
    EXPECT_TRUE(Pressed(keys[0]));
    EXPECT_EQ(Scan(keys[1]), 30u);
    EXPECT_FALSE(Pressed(keys[1]));
    EXPECT_LE(keys[0].time, keys[1].time);
    GetKeyboardState(state);
    GetKeyboardState(state);
    EXPECT_FALSE(BitTest(state, 30));
}

TEST_F(InputTest, CommandHeldBeforeItsChangeWasSeenQueuesItFirst) {
    OnKeyEvent(Key(Platform::EVENT_KEY_DOWN, 0, Platform::MODIFIER_COMMAND));
    std::vector<KeyRecord> keys = TakeKeys();
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(Scan(keys[0]), 365u);
    EXPECT_TRUE(Pressed(keys[0]));
    EXPECT_EQ(Scan(keys[1]), 30u);
}

TEST_F(InputTest, CommandChangeSeenFirstQueuesOnlyTheKey) {
    OnKeyEvent(Key(Platform::EVENT_FLAGS_CHANGED, 55, Platform::MODIFIER_COMMAND));
    std::vector<KeyRecord> keys = TakeKeys();
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(Scan(keys[0]), 365u);
    EXPECT_TRUE(Pressed(keys[0]));
    OnKeyEvent(Key(Platform::EVENT_KEY_DOWN, 0, Platform::MODIFIER_COMMAND));
    keys = TakeKeys();
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(Scan(keys[0]), 30u);
}

TEST_F(InputTest, ModifierPairsKeepOneBit) {
    // Right Shift pressed: bit 54 only.
    OnKeyEvent(Key(Platform::EVENT_FLAGS_CHANGED, 60, Platform::MODIFIER_SHIFT));
    OnKeyEvent(Key(Platform::EVENT_KEY_DOWN, 0, Platform::MODIFIER_SHIFT));
    uint8_t state[KEY_BITMAP_SIZE];
    GetKeyboardState(state);
    EXPECT_TRUE(BitTest(state, 54));
    EXPECT_FALSE(BitTest(state, 42));
    // Flag cleared by a mouse event: both bits clear.
    OnMouseEvent(InputEvent{});
    OnKeyEvent(Key(Platform::EVENT_KEY_DOWN, 0));
    GetKeyboardState(state);
    EXPECT_FALSE(BitTest(state, 54));
    EXPECT_FALSE(BitTest(state, 42));
    // Control flag with neither bit set: the left one.
    SyncModifierPairs(Platform::MODIFIER_CONTROL, 1024);
    OnKeyEvent(Key(Platform::EVENT_KEY_DOWN, 0, Platform::MODIFIER_CONTROL));
    GetKeyboardState(state);
    EXPECT_TRUE(BitTest(state, 29));
    EXPECT_FALSE(BitTest(state, 157));
}

TEST_F(InputTest, PeekKeepsRecordsAndCountsAreBounded) {
    OnKeyEvent(Key(Platform::EVENT_KEY_DOWN, 1));
    OnKeyEvent(Key(Platform::EVENT_KEY_UP, 1));
    KeyRecord out[5];
    uint32_t count = 0;
    EXPECT_EQ(GetKeyEvents(out, nullptr, false), 1);
    EXPECT_EQ(GetKeyEvents(out, &count, false), 1);
    EXPECT_EQ(count, 0u);
    count = 5;
    GetKeyEvents(out, &count, true);
    EXPECT_EQ(count, 2u);
    count = 1;
    GetKeyEvents(out, &count, false);
    EXPECT_EQ(count, 1u);
    EXPECT_TRUE(Pressed(out[0]));
    count = 5;
    GetKeyEvents(out, &count, false);
    EXPECT_EQ(count, 1u);
    EXPECT_FALSE(Pressed(out[0]));
    count = 5;
    GetKeyEvents(out, &count, false);
    EXPECT_EQ(count, 0u);
}

TEST_F(InputTest, SpentRecordsAreReused) {
    for (int n = 0; n < 4; ++n) OnKeyEvent(Key(Platform::EVENT_KEY_DOWN, 0));
    TakeKeys();
    EXPECT_EQ(Input().keys.PoolSize(), 4u);
    OnKeyEvent(Key(Platform::EVENT_KEY_DOWN, 0));
    EXPECT_EQ(Input().keys.PoolSize(), 3u);
}

TEST_F(InputTest, MotionQueuesTwoRecordsAndTheStateSumsThem) {
    PlaceCursor(100, 100);
    OnMouseEvent({Platform::EVENT_MOUSE_MOVED, 0, 0, 0, 0, 0});
    MouseState state;
    GetMouseState(&state);
    PlaceCursor(103, 98);
    OnMouseEvent({Platform::EVENT_MOUSE_MOVED, 0, 0, 0, 3, -2});
    std::vector<MouseRecord> records;
    {
        MouseRecord out[4];
        uint32_t count = 4;
        GetMouseEvents(out, &count, true);
        records.assign(out, out + count);
    }
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(Kind(records[0]), MOUSE_X);
    EXPECT_EQ(Value(records[0]), 3);
    EXPECT_EQ(Kind(records[1]), MOUSE_Y);
    EXPECT_EQ(Value(records[1]), -2);
    GetMouseState(&state);
    EXPECT_EQ(state.words[0] & 0x3FFFF, 3u);
    EXPECT_EQ(state.words[1] & 0x3FFFF, 0x3FFFEu);
    EXPECT_TRUE(TakeMouse().empty());
}

TEST_F(InputTest, ButtonsAndWheel) {
    struct Case {
        unsigned down, up;
        int number;
        uint32_t kind, bit;
    };
    const Case cases[] = {
        {Platform::EVENT_LEFT_DOWN, Platform::EVENT_LEFT_UP, 0, MOUSE_LEFT, 18},
        {Platform::EVENT_RIGHT_DOWN, Platform::EVENT_RIGHT_UP, 1, MOUSE_RIGHT, 19},
        {Platform::EVENT_OTHER_DOWN, Platform::EVENT_OTHER_UP, 2, 5, 20},
        {Platform::EVENT_OTHER_DOWN, Platform::EVENT_OTHER_UP, 4, 7, 22},
        {Platform::EVENT_OTHER_DOWN, Platform::EVENT_OTHER_UP, 7, 10, 25},
        {Platform::EVENT_OTHER_DOWN, Platform::EVENT_OTHER_UP, 9, 5, 20},
    };
    for (const Case& c : cases) {
        OnMouseEvent({c.down, 0, 0, c.number, 0, 0});
        MouseState state;
        GetMouseState(&state);
        EXPECT_TRUE(state.words[2] & (1u << c.bit)) << c.number;
        OnMouseEvent({c.up, 0, 0, c.number, 0, 0});
        std::vector<MouseRecord> records = TakeMouse();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(Kind(records[0]), c.kind) << c.number;
        EXPECT_EQ(Value(records[0]), 0) << c.number;
        GetMouseState(&state);
        GetMouseState(&state);
        EXPECT_FALSE(state.words[2] & (1u << c.bit)) << c.number;
    }
    OnMouseEvent({Platform::EVENT_SCROLL_WHEEL, 0, 0, 0, 0, 1.55});
    OnMouseEvent({Platform::EVENT_SCROLL_WHEEL, 0, 0, 0, 0, -0.25});
    std::vector<MouseRecord> records = TakeMouse();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(Kind(records[0]), MOUSE_WHEEL);
    EXPECT_EQ(Value(records[0]), 15);
    EXPECT_EQ(Value(records[1]), -2);
}

TEST(Sensitivity, ScaleFactor) {
    EXPECT_EQ(GetMouseSensitivity(), 10);
    SetMouseSensitivity(10);
    EXPECT_FLOAT_EQ(GetMouseScaleFactor(), 1.0f);
    SetMouseSensitivity(0);
    EXPECT_NEAR(GetMouseScaleFactor(), 0.634, 0.001);
    EXPECT_EQ(GetMouseSensitivity(), 0);
    SetMouseSensitivity(20);
    EXPECT_NEAR(GetMouseScaleFactor(), 1.393, 0.001);
}

TEST_F(InputTest, ClipKeepsTheCursorInsideTheWindow) {
    Shell().mainWindow->frame = {100, 500, 200, 100};  // content top at 1000-500-100 = 400
    PlaceCursor(50, 50);                                // client (-50, -350)
    ClipCursorToWindow();
    EXPECT_TRUE(IsCursorClipped());
    int l, t, r, b;
    GetCursorClipRect(l, t, r, b);
    EXPECT_EQ(r, 200);
    EXPECT_EQ(b, 100);
    EXPECT_EQ(cursor.suppressionInterval, 0.0);
    int x, y;
    GetCursorClientPosition(x, y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);

    PlaceCursor(900, 900);  // beyond the bottom-right corner
    OnMouseEvent({Platform::EVENT_MOUSE_MOVED, 0, 0, 0, 0, 0});
    GetCursorClientPosition(x, y);
    EXPECT_EQ(x, 199);
    EXPECT_EQ(y, 99);

    UnclipCursor();
    EXPECT_FALSE(IsCursorClipped());
    EXPECT_EQ(cursor.suppressionInterval, 0.25);
    SetCursorClientPosition(500, 500);
    GetCursorScreenPosition(x, y);
    EXPECT_EQ(x, 600);
    EXPECT_EQ(y, 900);
}

TEST_F(InputTest, CapturedMotionWarpsByTheScaledDelta) {
    SetMouseCaptured(true);
    PlaceCursor(500, 500);
    SetMouseSensitivity(0);  // 0.634
    OnMouseEvent({Platform::EVENT_MOUSE_MOVED, 0, 0, 0, 10.9, -10.9});
    int x, y;
    GetCursorClientPosition(x, y);
    EXPECT_EQ(x, 506);  // truncated 10 x 0.634
    EXPECT_EQ(y, 494);
    SetCursorScreenPosition(520, 480);  // captured: a relative warp
    GetCursorScreenPosition(x, y);
    EXPECT_EQ(x, 520);
    EXPECT_EQ(y, 480);
    SetMouseCaptured(false);
}

TEST_F(InputTest, CaptureDisablesAccelerationWhileActive) {
    QuorTest::TempDir home;
    setenv("HOME", home.path().c_str(), 1);
    Platform::FakeHidParameters hid;
    hid.values["HIDMouseAcceleration"] = 0x00020000;
    Platform::SetHidParametersForTests(&hid);

    SetMouseCaptured(true);
    EXPECT_TRUE(IsMouseCaptured());
    EXPECT_EQ(hid.values["HIDMouseAcceleration"], DISABLED_MOUSE_ACCELERATION);
    EXPECT_FALSE(cursor.associated);
    ASSERT_NE(Shell().focusLost, nullptr);
    Shell().focusLost();
    EXPECT_EQ(hid.values["HIDMouseAcceleration"], 0x00020000u);
    EXPECT_TRUE(cursor.associated);
    Shell().focusGained();
    EXPECT_FALSE(cursor.associated);

    SetMouseCaptured(false);
    EXPECT_EQ(hid.values["HIDMouseAcceleration"], 0x00020000u);
    EXPECT_TRUE(cursor.associated);
    EXPECT_EQ(Shell().focusGained, nullptr);
    EXPECT_EQ(Shell().focusLost, nullptr);

    cursor.active = false;  // an inactive application keeps its acceleration
    hid.sets.clear();
    SetMouseCaptured(true);
    EXPECT_EQ(hid.values["HIDMouseAcceleration"], 0x00020000u);
    EXPECT_TRUE(cursor.associated);
    SetMouseCaptured(false);
    Platform::SetHidParametersForTests(nullptr);
}

TEST_F(InputTest, HideAndShowCursor) {
    HideCursor();
    EXPECT_TRUE(cursor.hidden);
    ShowCursor();
    EXPECT_FALSE(cursor.hidden);
}

}  // namespace
}  // namespace Quor::Shell
