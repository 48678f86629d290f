#include "foundation/SharedMutex.h"

#include <cerrno>

#include "foundation/WaitDeadline.h"
#include "foundation/WaitResult.h"

namespace Vorn {

SharedMutex::SharedMutex(const char* name, bool create) : Semaphore(name, create ? 1 : 0) {}

SharedMutex::SharedMutex(const char* name, Semaphore::OwnName own) : Semaphore(name, 1, own) {}

std::shared_ptr<SharedMutex> SharedMutex::CreateOwn(const char* name) {
    return std::make_shared<SharedMutex>(name, Semaphore::OwnName{});
}

std::shared_ptr<SharedMutex> SharedMutex::Create(const char* name) {
    return std::make_shared<SharedMutex>(name, true);
}

std::shared_ptr<SharedMutex> SharedMutex::Find(const char* name) {
    return std::make_shared<SharedMutex>(name, false);
}

bool SharedMutex::TryLock(DWORD ms) {
    if (!IsValid()) return false;
    if (TryAcquireOne()) return true;
    if (ms == INFINITE) return AcquireOne();
    // The deadline is on the monotonic clock, so it neither wraps nor moves with the wall clock.
    const WaitDeadline deadline = WaitDeadline::After(ms);
    while (sem_clockwait(m_handle, CLOCK_MONOTONIC, &deadline.At()) != 0) {
        if (errno != EINTR) return false;
    }
    return true;
}

}  // namespace Vorn
