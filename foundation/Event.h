#pragma once
// Vorn::Event: a manual- or auto-reset event for one waiter at a time.
//
// Set signals the event and wakes one waiter; an auto-reset event goes back to unsignalled when a
// wait ends on it (also when that wait timed out). Every operation is thread-safe. The name is
// accepted for the callers' sake and not used: events are never shared by name. Create reports a
// failed set-up as an empty pointer; an object constructed directly whose set-up failed answers
// Set with false and Wait with WAIT_FAILED. Not copyable.
#include <pthread.h>

#include <memory>

#include "foundation/Types.h"

namespace Vorn {

class Event {
public:
    Event(bool manualReset, bool initialState, const char* name = nullptr);
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    static std::shared_ptr<Event> Create(bool manualReset, bool initialState, const char* name = nullptr);

    // Signals the event; false only when the waiter could not be woken.
    bool Set();
    void Reset();
    // WAIT_OBJECT_0, WAIT_TIMEOUT or WAIT_FAILED; ms is a time-out in milliseconds or INFINITE.
    DWORD Wait(DWORD ms);

private:
    bool IsReady() const { return m_mutexReady && m_conditionReady; }

    pthread_mutex_t m_mutex;
    pthread_cond_t m_condition;
    bool m_mutexReady = false;
    bool m_conditionReady = false;
    bool m_manualReset;
    bool m_state;  // guarded by m_mutex
};

}  // namespace Vorn
