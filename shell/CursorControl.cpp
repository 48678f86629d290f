// Mouse capture, sensitivity, cursor visibility, clipping and warps of the input layer.
#include <algorithm>
#include <cmath>

#include "platform/Cursor.h"
#include "shell/Input.h"
#include "shell/InputState.h"
#include "shell/MouseAcceleration.h"
#include "shell/ShellState.h"

namespace Quor::Shell {

namespace {

double ScreenHeight() { return Shell().screen ? Shell().screen->frame.height : 0; }

// Warps to a point in top-left screen coordinates.
void WarpToScreen(int x, int y) { Platform::Cursor().Warp(x, y, ScreenHeight()); }

void CaptureGained() {
    SaveAndDisableMouseAcceleration();
    Platform::Cursor().AssociateWithMouse(false);
}

void CaptureLost() {
    RestoreMouseAcceleration();
    Platform::Cursor().AssociateWithMouse(true);
}

}  // namespace

void SetMouseCaptured(bool on) {
    Input().captured = on;
    if (on) {
        Shell().focusGained = CaptureGained;
        Shell().focusLost = CaptureLost;
        if (Platform::Cursor().ApplicationIsActive())
            CaptureGained();
        else
            CaptureLost();
    } else {
        RestoreMouseAcceleration();
        Shell().focusGained = nullptr;
        Shell().focusLost = nullptr;
        Platform::Cursor().AssociateWithMouse(true);
    }
}

bool IsMouseCaptured() { return Input().captured; }

void SetMouseSensitivity(int sensitivity) {
    Input().scale = std::atan(std::max(0.1f, static_cast<float>(sensitivity) / 10.0f) - 1.0f) * 0.5f + 1.0f;
    Input().sensitivity = sensitivity;
}

int GetMouseSensitivity() { return Input().sensitivity; }
float GetMouseScaleFactor() { return Input().scale; }

void HideCursor() { Platform::Cursor().Hide(); }
void ShowCursor() { Platform::Cursor().Unhide(); }

void ClipCursorToWindow() {
    InputState& s = Input();
    s.clipLeft = s.clipTop = 0;
    GetMainWindowClientSize(s.clipRight, s.clipBottom);
    s.clipped = true;
    Platform::Cursor().SetSuppressionInterval(0.0);
    s.warpOffsetX = s.warpOffsetY = 0;
    WarpCursorBy(1, 0, true);
}

void UnclipCursor() {
    Input().clipped = false;
    Platform::Cursor().SetSuppressionInterval(0.25);
}

bool IsCursorClipped() { return Input().clipped; }

void GetCursorClipRect(int& left, int& top, int& right, int& bottom) {
    const InputState& s = Input();
    left = s.clipLeft;
    top = s.clipTop;
    right = s.clipRight;
    bottom = s.clipBottom;
}

void GetCursorScreenPosition(int& x, int& y) {
    double mx, my;
    Platform::Cursor().Location(mx, my);
    x = static_cast<int>(mx);
    y = static_cast<int>(ScreenHeight() - my);
}

void GetCursorClientPosition(int& x, int& y) {
    GetCursorScreenPosition(x, y);
    ScreenToClient(x, y);
}

void SetCursorScreenPosition(int x, int y) {
    if (Input().captured) {
        int cx, cy;
        GetCursorScreenPosition(cx, cy);
        WarpCursorBy(x - cx, y - cy, false);
    } else {
        WarpToScreen(x, y);
    }
}

void SetCursorClientPosition(int x, int y) {
    if (Input().captured) {
        int cx, cy;
        GetCursorClientPosition(cx, cy);
        WarpCursorBy(x - cx, y - cy, false);
    } else {
        ClientToScreen(x, y);
        WarpToScreen(x, y);
    }
}

void WarpCursorBy(int dx, int dy, bool replace) {
    InputState& s = Input();
    if (replace) {
        dx -= s.warpOffsetX;
        dy -= s.warpOffsetY;
    }
    if (dx == 0 && dy == 0) {
        if (replace) s.warpOffsetX = s.warpOffsetY = 0;
        return;
    }
    int x, y;
    GetCursorClientPosition(x, y);
    int tx = x + dx, ty = y + dy;
    if (s.clipped) {
        tx = std::clamp(tx, s.clipLeft, std::max(s.clipLeft, s.clipRight - 1));
        ty = std::clamp(ty, s.clipTop, std::max(s.clipTop, s.clipBottom - 1));
    }
    const int appliedX = static_cast<int>((tx - x) * s.scale);
    const int appliedY = static_cast<int>((ty - y) * s.scale);
    if (replace) {
        s.warpOffsetX = appliedX;
        s.warpOffsetY = appliedY;
    } else {
        s.warpOffsetX += appliedX;
        s.warpOffsetY += appliedY;
    }
    ClientToScreen(tx, ty);
    WarpToScreen(tx, ty);
}

}  // namespace Quor::Shell
