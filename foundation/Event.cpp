#include "foundation/Event.h"

#include <cerrno>

#include "foundation/WaitDeadline.h"
#include "foundation/WaitResult.h"

namespace Vorn {

Event::Event(bool manualReset, bool initialState, const char* /*name*/)
    : m_manualReset(manualReset), m_state(initialState) {
    m_mutexReady = pthread_mutex_init(&m_mutex, nullptr) == 0;
    m_conditionReady = InitMonotonicCondition(m_condition) == 0;
}

Event::~Event() {
    if (m_conditionReady) pthread_cond_destroy(&m_condition);
    if (m_mutexReady) pthread_mutex_destroy(&m_mutex);
}

std::shared_ptr<Event> Event::Create(bool manualReset, bool initialState, const char* name) {
    auto event = std::make_shared<Event>(manualReset, initialState, name);
    if (!event->IsReady()) return {};
    return event;
}

bool Event::Set() {
    if (!IsReady()) return false;
    bool ok = true;
    pthread_mutex_lock(&m_mutex);
    if (!m_state) {
        m_state = true;
        ok = pthread_cond_signal(&m_condition) != EINVAL;
    }
    pthread_mutex_unlock(&m_mutex);
    return ok;
}

void Event::Reset() {
    if (!IsReady()) return;
    pthread_mutex_lock(&m_mutex);
    m_state = false;
    pthread_mutex_unlock(&m_mutex);
}

DWORD Event::Wait(DWORD ms) {
    if (!IsReady()) return WAIT_FAILED;
    const WaitDeadline deadline = WaitDeadline::After(ms);
    DWORD result = WAIT_OBJECT_0;
    pthread_mutex_lock(&m_mutex);
    while (!m_state) {
        const int rc = deadline.Wait(m_condition, m_mutex);
        if (rc == ETIMEDOUT) {
            result = WAIT_TIMEOUT;
            break;
        }
        // Another error is remembered and the wait goes on; a wake re-checks the state.
        result = rc == 0 ? WAIT_OBJECT_0 : WAIT_FAILED;
    }
    if (!m_manualReset) m_state = false;
    pthread_mutex_unlock(&m_mutex);
    return result;
}

}  // namespace Vorn
