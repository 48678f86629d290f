#include "foundation/WaitForMultipleEvents.h"

#include <cerrno>
#include <vector>

#include "foundation/EventWaiter.h"
#include "foundation/WaitDeadline.h"
#include "foundation/WaitResult.h"

namespace Vorn {

EventWakeBlock::EventWakeBlock() {
    mutexReady = pthread_mutex_init(&mutex, nullptr) == 0;
    conditionReady = InitMonotonicCondition(condition) == 0;
}

EventWakeBlock::~EventWakeBlock() {
    if (conditionReady) pthread_cond_destroy(&condition);
    if (mutexReady) pthread_mutex_destroy(&mutex);
}

namespace {
DWORD FailedWait(int rc) { return rc == ETIMEDOUT ? WAIT_TIMEOUT : WAIT_FAILED; }
}  // namespace

DWORD EventHelper::WaitForAllEvents(DWORD count, EventMultiWaitable* const* events, const WaitDeadline& deadline) {
    std::vector<EventWakeBlock> wakes(count);
    std::vector<EventWaiterRecord> records(count);
    for (DWORD i = 0; i < count; ++i) {
        if (!wakes[i].IsReady()) return WAIT_FAILED;
        records[i].wake = &wakes[i];
    }
    for (DWORD i = 0; i < count; ++i) events[i]->Register(records[i]);

    DWORD result = WAIT_OBJECT_0;
    for (DWORD i = 0; i < count && result == WAIT_OBJECT_0; ++i) {
        EventWakeBlock& wake = wakes[i];
        pthread_mutex_lock(&wake.mutex);
        while (!events[i]->IsSignalled()) {
            const int rc = deadline.Wait(wake.condition, wake.mutex);
            if (rc != 0) {
                result = FailedWait(rc);
                break;
            }
        }
        pthread_mutex_unlock(&wake.mutex);
        if (result == WAIT_OBJECT_0) events[i]->Consume();
    }

    for (DWORD i = 0; i < count; ++i) events[i]->Unregister(records[i]);
    return result;
}

DWORD EventHelper::WaitForAnyEvent(DWORD count, EventMultiWaitable* const* events, const WaitDeadline& deadline) {
    EventWakeBlock wake;
    if (!wake.IsReady()) return WAIT_FAILED;
    std::vector<EventWaiterRecord> records(count);
    for (DWORD i = 0; i < count; ++i) {
        records[i].wake = &wake;
        events[i]->Register(records[i]);
    }

    auto scan = [&]() -> DWORD {
        for (DWORD i = 0; i < count; ++i) {
            if (events[i]->IsSignalled()) {
                events[i]->Consume();
                return i;
            }
        }
        return WAIT_NONE_SIGNALLED;
    };

    pthread_mutex_lock(&wake.mutex);
    DWORD result = scan();
    if (result == WAIT_NONE_SIGNALLED) {
        // One wait only: a wake that finds nothing signalled answers WAIT_NONE_SIGNALLED.
        const int rc = deadline.Wait(wake.condition, wake.mutex);
        result = rc == 0 ? scan() : FailedWait(rc);
    }
    pthread_mutex_unlock(&wake.mutex);

    for (DWORD i = 0; i < count; ++i) events[i]->Unregister(records[i]);
    return result;
}

DWORD WaitForMultipleEvents(DWORD count, const std::shared_ptr<EventMultiWaitable>* events, bool waitAll, DWORD ms) {
    if (count == 0 || count > MAXIMUM_WAIT_EVENTS || !events) return WAIT_FAILED;
    EventMultiWaitable* raw[MAXIMUM_WAIT_EVENTS];
    for (DWORD i = 0; i < count; ++i) {
        if (!events[i]) return WAIT_FAILED;
        raw[i] = events[i].get();
    }
    const WaitDeadline deadline = WaitDeadline::After(ms);
    return waitAll ? EventHelper::WaitForAllEvents(count, raw, deadline)
                   : EventHelper::WaitForAnyEvent(count, raw, deadline);
}

}  // namespace Vorn
