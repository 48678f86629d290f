#pragma once
// The pieces of a wait on events (used by EventMultiWaitable and the multiple-event waits only).
//
// A wake block is a mutex and condition variable that lives on the waiting thread's stack for one
// wait; a setter locks the mutex and signals the condition. A waiter record links one wake block
// into one event's list of waiters; a wait on several events links one record into each of them.
// Lock order: an event's list mutex before any wake mutex; a waiter never holds its wake mutex
// while it takes a list mutex.
#include <pthread.h>

#include "foundation/Types.h"

namespace Vorn {

class EventMultiWaitable;
class WaitDeadline;

struct EventWakeBlock {
    EventWakeBlock();
    ~EventWakeBlock();
    EventWakeBlock(const EventWakeBlock&) = delete;
    EventWakeBlock& operator=(const EventWakeBlock&) = delete;

    bool IsReady() const { return mutexReady && conditionReady; }

    pthread_mutex_t mutex;
    pthread_cond_t condition;
    bool mutexReady = false;
    bool conditionReady = false;
};

struct EventWaiterRecord {
    EventWaiterRecord* next = nullptr;
    EventWaiterRecord* previous = nullptr;
    EventWakeBlock* wake = nullptr;
};

// The waits behind EventMultiWaitable::Wait and WaitForMultipleEvents. events holds count non-null
// events; deadline was taken before the call.
class EventHelper {
public:
    // Waits until every event was seen signalled, in index order (an auto-reset event is cleared
    // when seen, even if a later one then times out). WAIT_OBJECT_0, WAIT_TIMEOUT or WAIT_FAILED.
    static DWORD WaitForAllEvents(DWORD count, EventMultiWaitable* const* events, const WaitDeadline& deadline);
    // Waits once for any event; the lowest signalled index wins (cleared when auto-reset).
    // The index, WAIT_NONE_SIGNALLED, WAIT_TIMEOUT or WAIT_FAILED.
    static DWORD WaitForAnyEvent(DWORD count, EventMultiWaitable* const* events, const WaitDeadline& deadline);
};

}  // namespace Vorn
