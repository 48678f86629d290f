#pragma once
// Process-wide single instances: Loki's SingletonHolder with a thread-safe creation policy of our own.
//
//   typedef Vorn::SingletonHolder<Provider> TheProvider;                         // destroyed at exit
//   typedef Vorn::SingletonHolder<Main, Loki::PhoenixSingleton> TheMain;         // re-created when used after exit
//   TheProvider::Instance().Work();
//
// Instance() creates the object with `new` on first use; any number of threads may call it at once
// and exactly one object is made. The holder's pointer is atomic and its creation runs under one
// mutex per held type (Loki 0.1.7's own locking policy does not build with g++ 12). The object
// is destroyed by an atexit handler; with the default lifetime a use after that throws
// std::logic_error, with Loki::PhoenixSingleton the object is made again and destroyed again
// (ATEXIT_FIXED is set by the Loki::loki target). The held object itself takes no lock: callers
// that share it between threads guard it themselves.
//
// This header is the only place that includes Loki.
#include <loki/Singleton.h>

#include <atomic>

#include "foundation/AnnotatedMutex.h"

namespace Vorn {

// Loki threading model: a class-level lock on a mutex that is never destroyed (so a phoenix
// instance can still be created while static objects are torn down), and an atomic instance pointer.
template <class Host, class /*MutexPolicy: not used*/>
class StdMutexClassLocking {
public:
    class Lock {
    public:
        Lock() : m_guard(Mutex()) {}
        explicit Lock(const StdMutexClassLocking&) : m_guard(Mutex()) {}
        explicit Lock(const StdMutexClassLocking*) : m_guard(Mutex()) {}
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        AnnotatedLockGuard m_guard;
    };
    typedef std::atomic<Host> VolatileType;

private:
    static AnnotatedMutex& Mutex() {
        static AnnotatedMutex* mutex = new AnnotatedMutex;
        return *mutex;
    }
};

template <class T, template <class> class LifetimePolicy = Loki::DefaultLifetime>
using SingletonHolder = Loki::SingletonHolder<T, Loki::CreateUsingNew, LifetimePolicy, StdMutexClassLocking>;

}  // namespace Vorn
