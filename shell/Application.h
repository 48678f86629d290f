#pragma once
// The application object of the shell: the queue of window-system events not yet handled, event
// dispatch to the main window's responder, the activation policy, hiding and activation, and
// the delegate it reports to.
//
// One instance (App()). The event queue and the flags may be used from any thread (the event pump
// also runs on the command runner's thread); dispatch and the delegate's reactions belong to the
// thread that pumps. The delegate is not owned.
#include <atomic>
#include <cstddef>

#include "foundation/AnnotatedMutex.h"
#include "platform/InputEvent.h"

namespace Quor::Shell {

class AppDelegate;

constexpr int ACTIVATION_POLICY_REGULAR = 0;
constexpr int ACTIVATION_POLICY_ACCESSORY = 1;
constexpr int ACTIVATION_POLICY_PROHIBITED = 2;
constexpr int INFORMATIONAL_REQUEST = 10;

class Application {
public:
    // Queues an event of the window system (tests post synthetic ones).
    void PostEvent(const Platform::InputEvent& event);
    // Takes the oldest queued event; false when none is queued. Never blocks.
    bool NextEvent(Platform::InputEvent& event);
    size_t QueuedEvents() const;

    // The shell's routing: with the raw keyboard flag, key events go straight to the key callback;
    // otherwise a key-up with Command goes to the key window, which the base dispatch would not
    // give it; every other event takes the base dispatch.
    void SendEvent(const Platform::InputEvent& event);
    // The base dispatch: key and mouse events reach the main window's first responder (key-ups
    // with Command are swallowed, as the window system's application does).
    void BaseSendEvent(const Platform::InputEvent& event);
    void UpdateWindows() {}

    // hide: / unhide: (the delegate hears of both first).
    void Hide();
    void Unhide();
    bool IsHidden() const { return m_Hidden.load(); }
    void ActivateIgnoringOtherApps();
    bool IsActive() const { return m_Active.load(); }
    int ActivationPolicy() const { return m_Policy.load(); }
    void SetActivationPolicy(int policy) { m_Policy = policy; }
    void RequestUserAttention(int kind);
    int AttentionRequests() const { return m_AttentionRequests.load(); }

    void SetDelegate(AppDelegate* delegate) { m_Delegate = delegate; }
    AppDelegate* Delegate() const { return m_Delegate.load(); }

private:
    mutable Vorn::AnnotatedMutex m_Mutex;
    Platform::InputEventQueue m_Events GUARDED_BY(m_Mutex);
    std::atomic<bool> m_Hidden{false};
    std::atomic<bool> m_Active{true};
    std::atomic<int> m_Policy{ACTIVATION_POLICY_REGULAR};
    std::atomic<int> m_AttentionRequests{0};
    std::atomic<AppDelegate*> m_Delegate{nullptr};
};

Application& App();

}  // namespace Quor::Shell
