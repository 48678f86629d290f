#pragma once
// The kernel's loopback TCP port, for the kernel's listener and the client's connection alike.
//
// 28126, or the value of the environment variable ORVANE_PORT when it holds a port number
// (1-65535); this is the only place that reads that variable, once per process, so the answer
// never changes while a program runs. Any thread may call it.
#include <cstdint>

namespace Quor::OrvaneProtocol {

constexpr uint16_t ORVANE_DEFAULT_PORT = 28126;

uint16_t GetOrvanePort();

// The port a value of ORVANE_PORT names: the default for null, empty or anything but a decimal
// number from 1 to 65535 (logged as a warning when the value was set).
uint16_t ParseOrvanePort(const char* value);

}  // namespace Quor::OrvaneProtocol
