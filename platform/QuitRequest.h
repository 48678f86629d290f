#pragma once
// The system's request that the program end (SIGINT, SIGTERM), as the program's own work sees it:
// raised by the shell when the request arrives and never lowered again. Work that can take long
// before the program serves (the self-update's downloads) watches the flag and gives up once it
// is raised, so that the request is honoured at every stage.
// Threads: raised and read from any thread (an atomic flag).
#include <atomic>

namespace Quor::Platform {

// The flag itself, for watchers that take a pointer to an atomic stop flag; it lives as long as
// the process.
const std::atomic<bool>& QuitRequestFlag();
void RaiseQuitRequest();
bool QuitRequested();

}  // namespace Quor::Platform
