#pragma once
// Vorn::AnnotatedMutex: a std::mutex that clang's thread-safety analysis knows as a capability
// (foundation/ThreadAnnotations.h), so that members can be GUARDED_BY it; the standard library's
// mutex and locks carry no annotations. Behaves exactly as std::mutex: not recursive, not
// copyable. Its holders, both holding it from construction to destruction:
//   AnnotatedLockGuard   as std::lock_guard;
//   AnnotatedUniqueLock  lends its std::unique_lock to a std::condition_variable wait, which gives
//                        the mutex up while it sleeps and holds it again when it returns (to the
//                        analysis it stays held throughout). A wait predicate that reads guarded
//                        members is a lambda marked REQUIRES(the mutex). Unlock and Lock let go
//                        of the mutex for a stretch and take it again; it is held when the holder
//                        ends either way.
#include <mutex>

#include "foundation/ThreadAnnotations.h"

namespace Vorn {

class CAPABILITY("mutex") AnnotatedMutex {
public:
    AnnotatedMutex() = default;
    AnnotatedMutex(const AnnotatedMutex&) = delete;
    AnnotatedMutex& operator=(const AnnotatedMutex&) = delete;

    void Lock() ACQUIRE() { m_mutex.lock(); }
    void Unlock() RELEASE() { m_mutex.unlock(); }

private:
    friend class AnnotatedUniqueLock;
    std::mutex m_mutex;
};

class SCOPED_CAPABILITY AnnotatedLockGuard {
public:
    explicit AnnotatedLockGuard(AnnotatedMutex& mutex) ACQUIRE(mutex) : m_mutex(mutex) { m_mutex.Lock(); }
    ~AnnotatedLockGuard() RELEASE() { m_mutex.Unlock(); }
    AnnotatedLockGuard(const AnnotatedLockGuard&) = delete;
    AnnotatedLockGuard& operator=(const AnnotatedLockGuard&) = delete;

private:
    AnnotatedMutex& m_mutex;
};

class SCOPED_CAPABILITY AnnotatedUniqueLock {
public:
    explicit AnnotatedUniqueLock(AnnotatedMutex& mutex) ACQUIRE(mutex) : m_lock(mutex.m_mutex) {}
    ~AnnotatedUniqueLock() RELEASE() {}
    AnnotatedUniqueLock(const AnnotatedUniqueLock&) = delete;
    AnnotatedUniqueLock& operator=(const AnnotatedUniqueLock&) = delete;

    // For std::condition_variable's waits only; the lock stays owned by this object.
    std::unique_lock<std::mutex>& ForWait() { return m_lock; }
    void Unlock() RELEASE() { m_lock.unlock(); }
    void Lock() ACQUIRE() { m_lock.lock(); }

private:
    std::unique_lock<std::mutex> m_lock;
};

}  // namespace Vorn
