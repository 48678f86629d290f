#pragma once
// Time-outs and results of every wait of the foundation (events, threads) and of the layers above
// that wait on its objects.
//
// Time-outs are unsigned 32-bit milliseconds; INFINITE waits without limit. A wait answers
// WAIT_OBJECT_0 (a wait on any of several events: the index of the signalled one), WAIT_TIMEOUT when
// the time ran out first, WAIT_FAILED when the underlying wait failed, and WAIT_NONE_SIGNALLED when
// a wait on any of several events was woken but found none of them signalled.
#include "foundation/Types.h"

namespace Vorn {

constexpr DWORD INFINITE = 0xFFFFFFFFu;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_NONE_SIGNALLED = 128;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;

}  // namespace Vorn
