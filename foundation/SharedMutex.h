#pragma once
// Vorn::SharedMutex: a mutex between processes on a named semaphore (count 1 free, 0 held).
//
// Create makes the name (or opens it when another process made it); the creating object removes
// the name when destroyed. Find only opens an existing name and never leaves one behind; its
// object is invalid when no process created the name. Locks are not tied to a thread or process:
// a holder that dies leaves the mutex held (Semaphore::Cleanup removes the name). Thread- and
// process-safe; not copyable.
#include <memory>

#include "foundation/Semaphore.h"
#include "foundation/Types.h"

namespace Vorn {

class SharedMutex : private Semaphore {
public:
    // create: make the name with count 1 when missing; otherwise open an existing name only.
    SharedMutex(const char* name, bool create);

    // The name made as this user's own (Semaphore's OwnName constructor), count 1 when made.
    SharedMutex(const char* name, Semaphore::OwnName own);

    static std::shared_ptr<SharedMutex> Create(const char* name);
    static std::shared_ptr<SharedMutex> CreateOwn(const char* name);
    static std::shared_ptr<SharedMutex> Find(const char* name);

    using Semaphore::IsValid;
    bool Lock() { return AcquireOne(); }
    bool Unlock() { return ReleaseOne(); }
    // Takes the mutex when it is free or becomes free within ms milliseconds (INFINITE waits
    // without limit); sleeps while it waits. At least one attempt is made, also for 0.
    bool TryLock(DWORD ms);
};

}  // namespace Vorn
