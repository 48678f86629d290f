#pragma once
// Vorn::EventMultiWaitable: a manual- or auto-reset event that can be waited for alone or together
// with other events (Vorn::WaitForMultipleEvents).
//
// Set wakes every thread waiting on the event at that moment, for both kinds; a waiter that finds
// an auto-reset event signalled clears it. A Set that nobody waits for leaves the event signalled.
// Every operation is thread-safe; the object must outlive the waits on it (callers hold it by
// shared pointer). Events have no name: the name argument is accepted and not used, and an event
// cannot be opened by identifier on this platform. Not copyable.
#include <pthread.h>

#include <atomic>
#include <memory>

#include "foundation/Types.h"

namespace Vorn {

// Names an event by identifier (not supported here: CreateFromEventID gives an empty pointer).
struct EventMultiWaitableID {
    DWORD value = 0;
};

struct EventWaiterRecord;

class EventMultiWaitable {
public:
    EventMultiWaitable(bool manualReset, bool initialState, const char* name = nullptr);
    ~EventMultiWaitable();
    EventMultiWaitable(const EventMultiWaitable&) = delete;
    EventMultiWaitable& operator=(const EventMultiWaitable&) = delete;

    // Never empty (allocation failure throws).
    static std::shared_ptr<EventMultiWaitable> Create(bool manualReset, bool initialState,
                                                      const char* name = nullptr);
    // Always empty on this platform.
    static std::shared_ptr<EventMultiWaitable> CreateFromEventID(EventMultiWaitableID id);

    // Signals the event and wakes every current waiter; false when a waiter could not be woken.
    bool Set();
    void Reset();
    // WAIT_OBJECT_0 (an auto-reset event is then cleared), WAIT_TIMEOUT or WAIT_FAILED.
    DWORD Wait(DWORD ms);

private:
    friend class EventHelper;

    void Register(EventWaiterRecord& record);
    void Unregister(EventWaiterRecord& record);
    bool IsSignalled() const { return m_state.load(); }
    // Called by a waiter that found the event signalled.
    void Consume() {
        if (!m_manualReset) m_state.store(false);
    }

    const bool m_manualReset;
    std::atomic<bool> m_state;            // written by setters and waiters without the list lock
    EventWaiterRecord* m_head = nullptr;  // guarded by m_listMutex
    EventWaiterRecord* m_tail = nullptr;
    pthread_mutex_t m_listMutex;
};

}  // namespace Vorn
