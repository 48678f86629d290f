#include "shell/Application.h"

#include "shell/AppDelegate.h"
#include "shell/ShellState.h"

namespace Quor::Shell {

using namespace Platform;

namespace {

bool IsKeyEvent(unsigned type) {
    return type == EVENT_KEY_DOWN || type == EVENT_KEY_UP || type == EVENT_FLAGS_CHANGED;
}

bool IsMouseEvent(unsigned type) {
    switch (type) {
        case EVENT_LEFT_DOWN:
        case EVENT_LEFT_UP:
        case EVENT_RIGHT_DOWN:
        case EVENT_RIGHT_UP:
        case EVENT_MOUSE_MOVED:
        case EVENT_LEFT_DRAGGED:
        case EVENT_RIGHT_DRAGGED:
        case EVENT_SCROLL_WHEEL:
        case EVENT_OTHER_DOWN:
        case EVENT_OTHER_UP:
        case EVENT_OTHER_DRAGGED: return true;
        default: return false;
    }
}

// The key window's own dispatch: its first responder gets the event.
void SendToKeyWindow(const InputEvent& event) {
    if (!GetMainWindow()) return;
    switch (event.type) {
        case EVENT_KEY_DOWN: EventResponder::KeyDown(event); break;
        case EVENT_KEY_UP: EventResponder::KeyUp(event); break;
        case EVENT_FLAGS_CHANGED: EventResponder::FlagsChanged(event); break;
        default:
            if (IsMouseEvent(event.type)) EventResponder::MouseEvent(event);
    }
}

}  // namespace

Application& App() {
    static Application application;
    return application;
}

void Application::PostEvent(const InputEvent& event) {
    Vorn::AnnotatedLockGuard lock(m_Mutex);
    m_Events.Post(event);
}

bool Application::NextEvent(InputEvent& event) {
    Vorn::AnnotatedLockGuard lock(m_Mutex);
    return m_Events.Next(event);
}

size_t Application::QueuedEvents() const {
    Vorn::AnnotatedLockGuard lock(m_Mutex);
    return m_Events.Size();
}

void Application::SendEvent(const InputEvent& event) {
    if (Shell().rawKeyboard && IsKeyEvent(event.type)) {
        ForwardKeyEventToCallback(event);
        return;
    }
    if (!Shell().rawKeyboard && event.type == EVENT_KEY_UP && (event.modifierFlags & MODIFIER_COMMAND)) {
        SendToKeyWindow(event);
        return;
    }
    BaseSendEvent(event);
}

void Application::BaseSendEvent(const InputEvent& event) {
    if (event.type == EVENT_KEY_UP && (event.modifierFlags & MODIFIER_COMMAND)) return;
    SendToKeyWindow(event);
}

void Application::Hide() {
    if (m_Hidden) return;
    if (AppDelegate* delegate = Delegate()) delegate->ApplicationWillHide();
    m_Hidden = true;
    Shell().mainWindowShown = false;
    if (m_Active.exchange(false))
        if (AppDelegate* delegate = Delegate()) delegate->ApplicationDidResignActive();
}

void Application::Unhide() {
    if (!m_Hidden) return;
    if (AppDelegate* delegate = Delegate()) delegate->ApplicationWillUnhide();
    m_Hidden = false;
    Window* window = GetMainWindow();
    Shell().mainWindowShown = window && window->visible;
}

void Application::ActivateIgnoringOtherApps() {
    if (m_Hidden) Unhide();
    if (!m_Active.exchange(true))
        if (AppDelegate* delegate = Delegate()) delegate->ApplicationDidBecomeActive();
}

void Application::RequestUserAttention(int) { ++m_AttentionRequests; }

}  // namespace Quor::Shell
