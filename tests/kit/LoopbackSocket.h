#pragma once
// Loopback TCP helpers for the test servers and the raw test client. Every descriptor is
// close-on-exec, so that no socket of a test leaks into a child such as nginx.
// Errors: an invalid UniqueFd (or port 0) with the reason in `error` when given.
#include <cstdint>
#include <string>

#include "tests/kit/UniqueFd.h"

namespace QuorTest {

// A listening, non-blocking socket on 127.0.0.1:`port` (0: the system picks a free port).
UniqueFd ListenLoopback(uint16_t port, std::string* error = nullptr);

// The port a bound socket is on, or 0.
uint16_t LocalPort(int fd);

// A port that was free a moment ago: a socket is bound to port 0, its port read and the socket
// closed. Someone else may take it before the caller binds it; callers retry on a collision.
uint16_t FreeLoopbackPort(std::string* error = nullptr);

// A blocking connection to 127.0.0.1:`port`.
UniqueFd ConnectLoopback(uint16_t port, std::string* error = nullptr);

}  // namespace QuorTest
