#include "shell/Input.h"

#include <cstring>

#include "foundation/CStd/CStdTime.h"
#include "platform/Cursor.h"
#include "shell/InputState.h"
#include "shell/KeyCodes.h"
#include "shell/ShellState.h"

namespace Quor::Shell {

InputState& Input() {
    static InputState state;
    return state;
}

namespace {

constexpr uint32_t PRESSED_BIT = 1u << 10;
constexpr uint32_t VALUE_MASK = 0x3FFFF;
constexpr uint32_t SCAN_COMMAND = 365;
constexpr uint32_t SCAN_FUNCTION = 364;

uint32_t Now() { return Vorn::std_ticks(); }

void QueueKey(uint32_t scan, bool pressed, uint32_t& word) {
    word = (scan & 0x3FF) | (pressed ? PRESSED_BIT : 0);
    Input().keys.Push(Now()).word = word;
}

uint32_t MouseWord(uint32_t kind, int value) { return kind | ((static_cast<uint32_t>(value) & VALUE_MASK) << 4); }

bool PressedFromFlags(uint32_t scan, uint32_t flags, bool command) {
    switch (scan) {
        case 29:
        case 157: return flags & Platform::MODIFIER_CONTROL;
        case 42:
        case 54: return flags & Platform::MODIFIER_SHIFT;
        case 56:
        case 184: return flags & Platform::MODIFIER_ALTERNATE;
        case SCAN_FUNCTION: return flags & Platform::MODIFIER_FUNCTION;
        case SCAN_COMMAND: return command;
        default: return false;
    }
}

void CopyKeysToPrevious() {
    InputState& s = Input();
    memcpy(s.keysPrevious, s.keysCurrent, KEY_BITMAP_SIZE);
}

// The button bit (in word 2 of the mouse state) and kind of an other-button number.
void OtherButton(int number, uint32_t& bit, uint32_t& kind) {
    if (number >= 3 && number <= 7) {
        kind = 6 + static_cast<uint32_t>(number - 3);
        bit = 21 + static_cast<uint32_t>(number - 3);
    } else {
        kind = MOUSE_BUTTON_2;
        bit = 20;
    }
}

void SetButton(uint32_t bit, bool down, uint32_t kind, uint32_t& word) {
    InputState& s = Input();
    if (down) {
        s.mouseCurrent.words[2] |= 1u << bit;
        s.mousePrevious = s.mouseCurrent;
    } else {
        s.mousePrevious = s.mouseCurrent;
        s.mouseCurrent.words[2] &= ~(1u << bit);
    }
    word = MouseWord(kind, down ? 1 : 0);
}

void Motion(const Platform::InputEvent& event, MouseRecord& first) {
    InputState& s = Input();
    if (!s.captured) {
        int x, y;
        GetCursorClientPosition(x, y);
        if (s.clipped && (x < s.clipLeft || x > s.clipRight - 1 || y < s.clipTop || y > s.clipBottom - 1)) {
            x = x < s.clipLeft ? s.clipLeft : (x > s.clipRight - 1 ? s.clipRight - 1 : x);
            y = y < s.clipTop ? s.clipTop : (y > s.clipBottom - 1 ? s.clipBottom - 1 : y);
            ClientToScreen(x, y);
            const double height = Shell().screen ? Shell().screen->frame.height : 0;
            Platform::Cursor().Warp(x, y, height);
        }
    } else {
        WarpCursorBy(static_cast<int>(static_cast<int>(event.deltaX) * s.scale),
                     static_cast<int>(static_cast<int>(event.deltaY) * s.scale), true);
    }
    int x, y;
    GetCursorClientPosition(x, y);
    const int dx = x - s.lastX, dy = y - s.lastY;
    s.lastX = x;
    s.lastY = y;
    first.word = MouseWord(MOUSE_X, dx);
    s.mouse.Push(first.time).word = MouseWord(MOUSE_Y, dy);
}

}  // namespace

void InitInput() {
    InputState& s = Input();
    memset(s.keysCurrent, 0, KEY_BITMAP_SIZE);
    memset(s.keysPrevious, 0, KEY_BITMAP_SIZE);
    s.mouseCurrent = {};
    s.mousePrevious = {};
    Shell().keyCallback = [](const Platform::InputEvent& event) { OnKeyEvent(event); };
    Shell().mouseCallback = OnMouseEvent;
}

uint32_t OnKeyEvent(const Platform::InputEvent& event) {
    InputState& s = Input();
    const uint32_t scan = MacKeyCodeToScanCode(event.keyCode);
    if (scan == SCAN_NONE) return SCAN_NONE;
    bool pressed = event.type == Platform::EVENT_KEY_DOWN;
    const uint32_t flags = event.modifierFlags;
    const bool command = flags & Platform::MODIFIER_COMMAND;
    if (event.type == Platform::EVENT_FLAGS_CHANGED) {
        pressed = PressedFromFlags(scan, flags, command);
        if (scan == SCAN_COMMAND) s.command = command;
    }
    uint32_t word = 0;
    if (command != s.command) {
        s.command = command;
        BitAssign(s.keysCurrent, SCAN_COMMAND, command ? 1 : 0);
        QueueKey(SCAN_COMMAND, command, word);
    }
    SyncModifierPairs(flags, scan);
    if (pressed) {
        BitSet(s.keysCurrent, scan);
        CopyKeysToPrevious();
    } else {
        CopyKeysToPrevious();
        BitClear(s.keysCurrent, scan);
    }
    QueueKey(scan, pressed, word);
    return word;
}

void SyncModifierPairs(uint32_t modifierFlags, uint32_t scan) {
    struct Pair {
        uint32_t left, right, flag;
    };
    static const Pair pairs[] = {
        {56, 184, Platform::MODIFIER_ALTERNATE},
        {42, 54, Platform::MODIFIER_SHIFT},
        {29, 157, Platform::MODIFIER_CONTROL},
    };
    uint8_t* keys = Input().keysCurrent;
    for (const Pair& p : pairs) {
        if (p.right == scan) continue;
        if (!(modifierFlags & p.flag)) {
            BitClear(keys, p.left);
            BitClear(keys, p.right);
        } else {
            BitAssign(keys, p.left, BitTest(keys, p.right) ? 0 : 1);
            BitAssign(keys, p.right, BitTest(keys, p.left) ? 0 : 1);
        }
    }
}

void OnMouseEvent(const Platform::InputEvent& event) {
    InputState& s = Input();
    MouseRecord& record = s.mouse.Push(Now());
    SyncModifierPairs(event.modifierFlags, SCAN_NONE);
    uint32_t bit = 0, kind = 0;
    switch (event.type) {
        case Platform::EVENT_LEFT_DOWN:
        case Platform::EVENT_LEFT_UP:
            SetButton(18, event.type == Platform::EVENT_LEFT_DOWN, MOUSE_LEFT, record.word);
            break;
        case Platform::EVENT_RIGHT_DOWN:
        case Platform::EVENT_RIGHT_UP:
            SetButton(19, event.type == Platform::EVENT_RIGHT_DOWN, MOUSE_RIGHT, record.word);
            break;
        case Platform::EVENT_OTHER_DOWN:
        case Platform::EVENT_OTHER_UP:
            OtherButton(event.buttonNumber, bit, kind);
            SetButton(bit, event.type == Platform::EVENT_OTHER_DOWN, kind, record.word);
            break;
        case Platform::EVENT_SCROLL_WHEEL: record.word = MouseWord(MOUSE_WHEEL, static_cast<int>(event.deltaY * 10)); break;
        case Platform::EVENT_MOUSE_MOVED:
        case Platform::EVENT_LEFT_DRAGGED:
        case Platform::EVENT_RIGHT_DRAGGED:
        case Platform::EVENT_OTHER_DRAGGED: Motion(event, record); break;
        default: break;
    }
}

int GetKeyboardState(uint8_t* out) {
    InputState& s = Input();
    memcpy(out, s.keysPrevious, KEY_BITMAP_SIZE);
    memcpy(s.keysPrevious, s.keysCurrent, KEY_BITMAP_SIZE);
    s.keys.Clear();
    return 1;
}

int GetKeyEvents(KeyRecord* out, uint32_t* count, bool peek) {
    if (!count || *count == 0) return 1;
    Input().keys.Take(out, count, peek);
    return 1;
}

int GetMouseState(MouseState* out) {
    InputState& s = Input();
    int32_t sums[3] = {0, 0, 0};
    for (const MouseRecord& r : s.mouse.Records()) {
        const uint32_t kind = r.word & 0xF;
        if (kind > MOUSE_WHEEL) continue;
        // Sign-extend the 18-bit value.
        const int32_t value = static_cast<int32_t>((r.word >> 4) << 14) >> 14;
        sums[kind] += value;
    }
    for (int n = 0; n < 3; ++n) {
        const uint32_t field = static_cast<uint32_t>(sums[n]) & VALUE_MASK;
        s.mouseCurrent.words[n] = (s.mouseCurrent.words[n] & ~VALUE_MASK) | field;
        s.mousePrevious.words[n] = (s.mousePrevious.words[n] & ~VALUE_MASK) | field;
    }
    *out = s.mousePrevious;
    s.mousePrevious = s.mouseCurrent;
    s.mouse.Clear();
    return 1;
}

int GetMouseEvents(MouseRecord* out, uint32_t* count, bool peek) {
    if (!count || *count == 0) return 1;
    Input().mouse.Take(out, count, peek);
    return 1;
}

}  // namespace Quor::Shell
