#pragma once
// A polled input layer for a host that draws in the shell's window: key and mouse events from the
// shell's callbacks become PC scan codes, key and button bitmaps, and timestamped records queued
// until the host reads them; the mouse can be captured (pointer decoupled, acceleration off) and
// the cursor clipped to the window and warped.
//
// Process-wide state, main thread only. Spent records return to a pool that later events reuse,
// so steady input stops allocating. Cursor positions: screen coordinates with a top-left origin,
// window coordinates as ScreenToClient gives them (shell/ShellState.h).
#include <cstddef>
#include <cstdint>

#include "platform/InputEvent.h"

namespace Quor::Shell {

constexpr size_t KEY_BITMAP_SIZE = 128;

// A key record's word: bits 0-9 scan code, bit 10 pressed.
struct KeyRecord {
    uint32_t time;
    uint32_t word;
};
// A mouse record's word: bits 0-3 kind, bits 4-21 value (signed, 18 bits).
struct MouseRecord {
    uint32_t time;
    uint32_t word;
};
enum MouseKind : uint32_t {
    MOUSE_X = 0,
    MOUSE_Y = 1,
    MOUSE_WHEEL = 2,
    MOUSE_LEFT = 3,
    MOUSE_RIGHT = 4,
    MOUSE_BUTTON_2 = 5,  // kinds 6 to 10: buttons 3 to 7
};
// Mouse state: words 0, 1 and 2 hold x, y and wheel motion in bits 0-17 (signed); word 2 holds
// the buttons in bits 18 (left), 19 (right), 20 (button 2 and any unlisted) and 21-25 (3 to 7).
struct MouseState {
    uint32_t words[3];
};

// Clears the bitmaps and mouse states and installs the key and mouse callbacks of the shell.
void InitInput();
// The queued key record's word, or SCAN_NONE for a key without a scan code (nothing changes).
uint32_t OnKeyEvent(const Platform::InputEvent& event);
void OnMouseEvent(const Platform::InputEvent& event);
// Keeps exactly one bit of each modifier pair (Option, Shift, Control) while its flag is set, and
// neither while it is clear; the pair whose right key is scan is left alone.
void SyncModifierPairs(uint32_t modifierFlags, uint32_t scan);

// The previous bitmap (KEY_BITMAP_SIZE bytes); drops every queued key record. Answers 1.
int GetKeyboardState(uint8_t* out);
// Up to *count records, oldest first; unless peek, they leave the queue. *count := copied.
int GetKeyEvents(KeyRecord* out, uint32_t* count, bool peek);
// Motion sums of the queued records into both states; the previous state out; drops every
// queued mouse record. Answers 1.
int GetMouseState(MouseState* out);
int GetMouseEvents(MouseRecord* out, uint32_t* count, bool peek);

void SetMouseCaptured(bool on);
bool IsMouseCaptured();
void SetMouseSensitivity(int sensitivity);
int GetMouseSensitivity();
float GetMouseScaleFactor();

void HideCursor();
void ShowCursor();
void ClipCursorToWindow();
void UnclipCursor();
bool IsCursorClipped();
void GetCursorClipRect(int& left, int& top, int& right, int& bottom);
void GetCursorScreenPosition(int& x, int& y);
void GetCursorClientPosition(int& x, int& y);
void SetCursorScreenPosition(int x, int y);
void SetCursorClientPosition(int x, int y);
// Moves the cursor by (dx, dy) window units, kept inside the clip rectangle while clipping.
// replace: the move replaces the accumulated warp offset (and is first reduced by it).
void WarpCursorBy(int dx, int dy, bool replace);

}  // namespace Quor::Shell
