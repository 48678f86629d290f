#include "shell/EventPump.h"

#include "platform/Cursor.h"
#include "shell/Application.h"
#include "shell/Input.h"
#include "shell/ShellState.h"

namespace Quor::Shell {

using namespace Platform;

namespace {

struct PumpState {
    MessageTranslator hook = nullptr;
    bool dragging = false;
    bool clipWasOn = false;
    FocusCallback savedGained = nullptr;
    FocusCallback savedLost = nullptr;
};

PumpState& Pump() {
    static PumpState state;
    return state;
}

void StartTitleBarDrag() {
    PumpState& p = Pump();
    p.dragging = true;
    p.clipWasOn = IsCursorClipped();
    UnclipCursor();
    Cursor().SetSuppressionInterval(0.0);
    p.savedGained = Shell().focusGained;
    p.savedLost = Shell().focusLost;
    Shell().focusGained = nullptr;
    Shell().focusLost = nullptr;
}

void EndTitleBarDrag() {
    PumpState& p = Pump();
    p.dragging = false;
    if (p.clipWasOn) ClipCursorToWindow();
    Cursor().SetSuppressionInterval(0.25);
    Shell().focusGained = p.savedGained;
    Shell().focusLost = p.savedLost;
    if (Shell().focusGained) Shell().focusGained();
}

unsigned ModifierMessage(const InputEvent& event) {
    uint32_t mask = 0;
    switch (event.keyCode) {
        case 56:
        case 60: mask = MODIFIER_SHIFT; break;
        case 58:
        case 61: mask = MODIFIER_ALTERNATE; break;
        case 59:
        case 62: mask = MODIFIER_CONTROL; break;
        default: return MSG_NONE;
    }
    return (event.modifierFlags & mask) ? MSG_KEY_DOWN : MSG_KEY_UP;
}

// The message of an event; false when the event is consumed here and must be neither translated
// nor dispatched.
bool Translate(const InputEvent& event, unsigned& message, unsigned long& wParam, long& lParam) {
    int height = 0, width = 0;
    GetMainWindowClientSize(width, height);
    const int x = static_cast<int>(event.locationX);
    const int y = static_cast<int>(height - event.locationY);
    wParam = static_cast<unsigned long>(static_cast<long>(x));
    lParam = y;
    switch (event.type) {
        case EVENT_LEFT_DOWN:
            message = MSG_LEFT_DOWN;
            if (y < 0) StartTitleBarDrag();
            return true;
        case EVENT_LEFT_UP:
            message = MSG_LEFT_UP;
            if (Pump().dragging) EndTitleBarDrag();
            return true;
        case EVENT_RIGHT_DOWN:
            if (Shell().mouseCallback) Shell().mouseCallback(event);
            message = MSG_RIGHT_DOWN;
            return true;
        case EVENT_RIGHT_UP: message = MSG_RIGHT_UP; return true;
        case EVENT_LEFT_DRAGGED:
            if (Pump().dragging) {
                if (Shell().mouseCallback) Shell().mouseCallback(event);
                return false;
            }
            message = MSG_MOUSE_MOVE;
            return true;
        case EVENT_MOUSE_MOVED:
        case EVENT_RIGHT_DRAGGED:
        case EVENT_OTHER_DRAGGED: message = MSG_MOUSE_MOVE; return true;
        case EVENT_KEY_DOWN:
        case EVENT_KEY_UP: {
            const uint32_t flags = event.modifierFlags;
            if (event.type == EVENT_KEY_DOWN && event.keyCode == 48 && (flags & MODIFIER_COMMAND) &&
                !(flags & (MODIFIER_CONTROL | MODIFIER_ALTERNATE))) {
                App().Hide();
                return false;
            }
            if (event.type == EVENT_KEY_DOWN && event.keyCode == 98 && (flags & 0xFFFF0000u) == 0x840000u) return false;
            message = event.type == EVENT_KEY_DOWN ? MSG_KEY_DOWN : MSG_KEY_UP;
            wParam = event.character;
            lParam = static_cast<long>(event.keyCode) << 16;
            return true;
        }
        case EVENT_FLAGS_CHANGED:
            message = ModifierMessage(event);
            wParam = 0;
            lParam = static_cast<long>(event.keyCode) << 16;
            return true;
        case EVENT_SCROLL_WHEEL: message = MSG_WHEEL; return true;
        case EVENT_OTHER_DOWN: message = MSG_OTHER_DOWN; return true;
        case EVENT_OTHER_UP: message = MSG_OTHER_UP; return true;
        default: message = MSG_NONE; return true;
    }
}

}  // namespace

int PumpEvents(MessageTranslator translator) {
    if (!Shell().running && Shell().quitReported.Set()) return 0;
    Application& app = App();
    InputEvent event;
    while (app.NextEvent(event)) {
        if (translator) {
            unsigned message = MSG_NONE;
            unsigned long wParam = 0;
            long lParam = 0;
            if (!Translate(event, message, wParam, lParam)) continue;
            if (translator(GetMainWindow(), message, wParam, lParam) != 0) return 1;
            if (Pump().hook) Pump().hook(GetMainWindow(), message, wParam, lParam);
        }
        app.SendEvent(event);
        app.UpdateWindows();
    }
    return 1;
}

void SetMessageHook(MessageTranslator hook) { Pump().hook = hook; }

bool IsTitleBarDragActive() { return Pump().dragging; }

}  // namespace Quor::Shell
