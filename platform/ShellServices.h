#pragma once
// The user-interface services the kernel's logic calls: message boxes, hiding the main window, a
// progress bar on the application's tile, and the event pump.
//
// The free functions reach the shell in use: the headless shell (below) unless the program
// installed its own with SetShell, or a test with SetShellForTests (null restores the headless
// one). Install a shell before the code that calls it runs; it is not owned.
//
// Headless shell: MessageBox prints the text on standard error and answers with the answer policy
// (platform/AnswerPolicy.h), never blocking. HideMainWindow only records that the window is hidden.
// The progress bar is drawn on standard error: redrawn in place when that is a terminal, as a line
// for every tenth of the way otherwise. PumpEvents takes no events (there is no window system),
// never blocks and answers 1. The progress functions and the pump may be called from any thread.
namespace Quor::Platform {

using MessageTranslator = int (*)(void* window, unsigned message, unsigned long wParam, long lParam);

// Styles: 0 "Ok"; 3 "Ok" and "Cancel" (0 for "Ok", 1 for "Cancel"). Bit 0x10000000 asks for a
// suppression box. The caption is accepted and not shown.
constexpr unsigned MB_STYLE_OK = 0;
constexpr unsigned MB_STYLE_OK_CANCEL = 3;

class IShell {
public:
    virtual ~IShell() = default;
    virtual unsigned MessageBox(const char* text, const char* caption, unsigned style) = 0;
    virtual void HideMainWindow() = 0;
    virtual void DockTileProgressBegin() = 0;
    virtual void DockTileProgressSet(float fraction) = 0;
    virtual void DockTileProgressEnd() = 0;
    virtual int PumpEvents(MessageTranslator translator) = 0;
};

unsigned MessageBox(const char* text, const char* caption, unsigned style);
void HideMainWindow();
bool IsMainWindowHidden();
void DockTileProgressBegin();
void DockTileProgressSet(float fraction);
void DockTileProgressEnd();
int PumpEvents(MessageTranslator translator);

void SetShell(IShell* shell);
void SetShellForTests(IShell* shell);

}  // namespace Quor::Platform
