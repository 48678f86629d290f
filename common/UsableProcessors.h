#pragma once
// The number of processors this process may run on: its affinity mask as a container or
// `taskset` sets it, else what the machine reports; at least 1. Thread-safe, no state.

namespace Quor::Common {

unsigned UsableProcessors();

}  // namespace Quor::Common
