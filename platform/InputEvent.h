#pragma once
// A synthetic window-system input event (key, modifier change, mouse button, motion, wheel) and
// the first-in first-out queue that holds those not yet handled. Plain values; the queue is used
// on the main thread only.
#include <cstddef>
#include <cstdint>
#include <deque>

namespace Quor::Platform {

// Event types, as the window system numbers them.
enum InputEventType : unsigned {
    EVENT_LEFT_DOWN = 1,
    EVENT_LEFT_UP = 2,
    EVENT_RIGHT_DOWN = 3,
    EVENT_RIGHT_UP = 4,
    EVENT_MOUSE_MOVED = 5,
    EVENT_LEFT_DRAGGED = 6,
    EVENT_RIGHT_DRAGGED = 7,
    EVENT_KEY_DOWN = 10,
    EVENT_KEY_UP = 11,
    EVENT_FLAGS_CHANGED = 12,
    EVENT_SCROLL_WHEEL = 22,
    EVENT_OTHER_DOWN = 25,
    EVENT_OTHER_UP = 26,
    EVENT_OTHER_DRAGGED = 27,
};

// Modifier flag bits.
constexpr uint32_t MODIFIER_SHIFT = 1u << 17;
constexpr uint32_t MODIFIER_CONTROL = 1u << 18;
constexpr uint32_t MODIFIER_ALTERNATE = 1u << 19;
constexpr uint32_t MODIFIER_COMMAND = 1u << 20;
constexpr uint32_t MODIFIER_FUNCTION = 1u << 23;

struct InputEvent {
    unsigned type = 0;
    unsigned keyCode = 0;
    uint32_t modifierFlags = 0;
    int buttonNumber = 0;
    double deltaX = 0, deltaY = 0;
    // Location in the window's coordinates (bottom-left origin).
    double locationX = 0, locationY = 0;
    // First UTF-16 unit of the key's characters; 0 when it has none.
    uint16_t character = 0;
};

class InputEventQueue {
public:
    void Post(const InputEvent& event) { m_events.push_back(event); }
    // Takes the oldest event; false when none is queued.
    bool Next(InputEvent& event) {
        if (m_events.empty()) return false;
        event = m_events.front();
        m_events.pop_front();
        return true;
    }
    size_t Size() const { return m_events.size(); }

private:
    std::deque<InputEvent> m_events;
};

}  // namespace Quor::Platform
