#pragma once
// Modal message boxes as alert sheets over the main window (platform/AlertSheet.h), waited for by
// pumping the shell's events.
//
// Main thread only; one sheet at a time. Results: 0 the default button, 1 the other button, 2 the
// alternate button; MB_SUPPRESSED added when the style asked for a suppression box and it was
// ticked. A sheet ending with an unknown return code answers the previous result (MB_NO_RESULT
// before any sheet ended).
#include <cstdint>

namespace Quor::Shell {

constexpr uint32_t MB_SUPPRESSION_BOX = 0x10000000;
constexpr uint32_t MB_SUPPRESSED = 0x10000000;
constexpr uint32_t MB_NO_RESULT = 0xFFFFFFFF;

// The buttons of a style (suppression bit masked off); null where a style has none.
struct AlertButtons {
    const char* defaultButton;
    const char* alternateButton;
    const char* otherButton;
};
AlertButtons ButtonsOfStyle(uint32_t style);

// Ends the sheet: maps the return code to the alert result.
class AlertDelegate {
public:
    void SheetEnded(int returnCode);
};

// The caption is accepted and not shown.
uint32_t MessageBox(const char* text, const char* caption, uint32_t style);
bool IsSheetActive();

}  // namespace Quor::Shell
