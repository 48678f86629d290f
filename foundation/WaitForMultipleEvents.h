#pragma once
// Vorn::WaitForMultipleEvents: waits for any or for all of several events, with a time-out.
//
// Waiting for any: the index of the lowest signalled event (an auto-reset one is cleared), or
// WAIT_NONE_SIGNALLED when a wake found none of them signalled (callers wait again), WAIT_TIMEOUT,
// WAIT_FAILED. At most 128 events. Waiting for all: WAIT_OBJECT_0 once each event was seen
// signalled (one after another, not at one instant), WAIT_TIMEOUT or WAIT_FAILED. An empty list, a
// null event or more than 128 events answer WAIT_FAILED. Thread-safe.
#include <memory>

#include "foundation/EventMultiWaitable.h"
#include "foundation/Types.h"

namespace Vorn {

constexpr DWORD MAXIMUM_WAIT_EVENTS = 128;

DWORD WaitForMultipleEvents(DWORD count, const std::shared_ptr<EventMultiWaitable>* events, bool waitAll, DWORD ms);

}  // namespace Vorn
