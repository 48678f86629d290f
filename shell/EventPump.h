#pragma once
// The event pump that keeps the shell responsive while the program works inside the launch call:
// it handles the events already queued for the application and returns without blocking,
// optionally translating each event into a message (window, message, wParam, lParam) for a
// translator and the message hook first.
//
// Called on the main thread and from the command runner's progress listener while the main thread
// waits (never both at once); the quit flags are atomic, so exactly one call reports a quit.
#include "platform/ShellServices.h"

namespace Quor::Shell {

using Platform::MessageTranslator;

// Messages of the translation.
enum PumpMessage : unsigned {
    MSG_NONE = 0,
    MSG_LEFT_DOWN = 1,
    MSG_LEFT_UP = 2,
    MSG_RIGHT_DOWN = 3,
    MSG_RIGHT_UP = 4,
    MSG_MOUSE_MOVE = 5,
    MSG_KEY_DOWN = 10,
    MSG_KEY_UP = 11,
    MSG_WHEEL = 18,
    MSG_OTHER_DOWN = 21,
    MSG_OTHER_UP = 22,
};

// 0 once after a quit request (without touching the queue), otherwise 1 when the queue is empty or
// the translator answered non-zero for an event (that event is not dispatched).
int PumpEvents(MessageTranslator translator);
void SetMessageHook(MessageTranslator hook);
bool IsTitleBarDragActive();

}  // namespace Quor::Shell
