#include "foundation/EventMultiWaitable.h"

#include <cerrno>

#include "foundation/EventWaiter.h"
#include "foundation/WaitDeadline.h"
#include "foundation/WaitResult.h"

namespace Vorn {

namespace {
[[noreturn]] void StopOnInitFailure() { __builtin_trap(); }
}  // namespace

EventMultiWaitable::EventMultiWaitable(bool manualReset, bool initialState, const char* /*name*/)
    : m_manualReset(manualReset), m_state(initialState) {
    // Default attributes: this cannot fail on Linux short of memory corruption.
    if (pthread_mutex_init(&m_listMutex, nullptr) != 0) StopOnInitFailure();
}

EventMultiWaitable::~EventMultiWaitable() { pthread_mutex_destroy(&m_listMutex); }

std::shared_ptr<EventMultiWaitable> EventMultiWaitable::Create(bool manualReset, bool initialState, const char* name) {
    return std::make_shared<EventMultiWaitable>(manualReset, initialState, name);
}

std::shared_ptr<EventMultiWaitable> EventMultiWaitable::CreateFromEventID(EventMultiWaitableID) { return {}; }

bool EventMultiWaitable::Set() {
    m_state.store(true);
    bool ok = true;
    pthread_mutex_lock(&m_listMutex);
    // Taking each waiter's wake mutex before signalling closes the window between its look at the
    // state and its wait. One record at a time, so that a wake block listed twice (the same event
    // passed twice to one wait) is never locked twice.
    for (EventWaiterRecord* r = m_head; r; r = r->next) {
        pthread_mutex_lock(&r->wake->mutex);
        if (pthread_cond_signal(&r->wake->condition) == EINVAL) ok = false;
        pthread_mutex_unlock(&r->wake->mutex);
    }
    pthread_mutex_unlock(&m_listMutex);
    return ok;
}

void EventMultiWaitable::Reset() {
    pthread_mutex_lock(&m_listMutex);
    m_state.store(false);
    pthread_mutex_unlock(&m_listMutex);
}

DWORD EventMultiWaitable::Wait(DWORD ms) {
    const WaitDeadline deadline = WaitDeadline::After(ms);
    EventMultiWaitable* self = this;
    return EventHelper::WaitForAllEvents(1, &self, deadline);
}

void EventMultiWaitable::Register(EventWaiterRecord& record) {
    pthread_mutex_lock(&m_listMutex);
    record.next = nullptr;
    record.previous = m_tail;
    if (m_tail)
        m_tail->next = &record;
    else
        m_head = &record;
    m_tail = &record;
    pthread_mutex_unlock(&m_listMutex);
}

void EventMultiWaitable::Unregister(EventWaiterRecord& record) {
    pthread_mutex_lock(&m_listMutex);
    if (record.previous)
        record.previous->next = record.next;
    else
        m_head = record.next;
    if (record.next)
        record.next->previous = record.previous;
    else
        m_tail = record.previous;
    record.next = record.previous = nullptr;
    pthread_mutex_unlock(&m_listMutex);
}

}  // namespace Vorn
